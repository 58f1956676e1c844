#include "kvoinfo.hpp"

#include <vector>

#include "descriptor.hpp"
#include "grid_info.hpp"
#include "inventory.hpp"
#include "model_file.hpp"
#include "numbers.hpp"
#include "png_file.hpp"
#include "quicklook.hpp"
#include "record_stats.hpp"

namespace kvo {

void run(const Request& request, std::ostream& out) {
  const GridInfo grid = read_grid_info(request.data_path);
  ModelFile file(request.data_path, grid);  // checks the size

  if (request.descriptor) {
    write_descriptor(out, request.data_path, grid);
    return;
  }
  if (!request.png_path) {
    write_inventory(out, file, request.record);
    return;
  }

  const std::int64_t n = request.record.value_or(1);
  const RecordLabel label = label_record(grid, n, request.data_path);
  std::vector<float> values;
  file.read(n, values);
  const Image image = render_quicklook(values, grid.im(), grid.jm());
  write_png(*request.png_path, image);

  const RecordStats s = record_stats(values);
  out << *request.png_path << ": record " << n << ", " << label.name->with_unit() << ", "
      << (label.surface ? "surface" : level_text(label) + " hPa") << ", " << image.width << " x "
      << image.height << " pixels, ";
  if (s.valid > 0)
    out << "colours from " << shortest(s.min) << " to " << shortest(s.max) << '\n';
  else
    out << "no valid point: all grey\n";
}

}  // namespace kvo
