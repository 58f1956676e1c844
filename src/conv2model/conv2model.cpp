#include "conv2model/conv2model.hpp"

#include "conv2model/field_prep.hpp"
#include "conv2model/grid_description.hpp"
#include "conv2model/input_grid.hpp"
#include "conv2model/level_check.hpp"
#include "conv2model/model_data.hpp"
#include "conv2model/run_description.hpp"
#include "conv2model/surface_fill.hpp"
#include "conv2model/work_arrays.hpp"
#include "kit/numbers.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"

#include <new>
#include <string>

namespace c2m {

namespace {

// What the run was working on when memory ran out.
std::string no_memory_message(const RunContext& ctx) {
  const std::string stem(text_before_blank(ctx.input_path));
  return (stem.empty() ? std::string("the input grid file") : stem) +
         ": out of memory for a grid of im = " + decimal(ctx.im) +
         ", jm = " + decimal(ctx.jm) + ", lm = " + decimal(ctx.lm) + " (" +
         run_description_name + ")";
}

}  // namespace

void conv2model(const std::string& input_path, const std::string& second_path, Log& log,
                const RunOptions& options) {
  RunContext ctx;
  ctx.input_path = input_path;
  ctx.second_path = second_path;
  ctx.directory = options.directory;

  RunDescription desc = read_run_header(ctx);                           // 1
  try {
    WorkArrays work = allocate_work_arrays(ctx);                        // 2
    read_pressures(desc, ctx, work, log);                               // 3
    read_date_file(ctx);                                                // 4
    read_input_grid(ctx, work, log);                                    // 5
    prepare_fields(work);                                               // 6
    check_levels(ctx, work, log);                                       // 7
    fill_surface(ctx, work, log);                                       // 8
    // 9: the specific humidity qnew2 is derived from tp, rh and pr level
    //    by level as its records are written (derive_humidity, stage 11).
    if (options.check_only) {
      check_output_names(ctx);
      return;
    }
    const auto outputs = write_grid_description(ctx, work, log);        // 10
    write_model_data(ctx, work, *outputs, log);                         // 11
  } catch (const std::bad_alloc&) {  // the work arrays are released here
    throw SizeFailure(no_memory_message(ctx));
  }
}

}  // namespace c2m
