// The run description "./InputModelInf.txt" (label, sizes, grid integers,
// pressures) and the date file "./adate.txt".
#pragma once

#include <cstdio>
#include <memory>

#include "conv2model/context.hpp"
#include "textio/free_format.hpp"
#include "textio/log.hpp"

namespace c2m {

inline constexpr const char* run_description_path = "./InputModelInf.txt";
inline constexpr const char* run_description_name = "InputModelInf.txt";
inline constexpr const char* date_file_path = "./adate.txt";
inline constexpr const char* date_file_name = "adate.txt";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using TextFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a text file for reading; CannotOpen names SHOWN and the reason.
TextFile open_text_file(const char* path, const std::string& shown);

// The run description, open from stage 1 to stage 3: its header is read
// before the work arrays are allocated, because their extents come from it,
// and the pressure list after.
struct RunDescription {
  TextFile file;
  FreeFormatReader reader;
};

// Stage 1: open the run description and read the label, the sizes and the
// seven grid integers; sizes no run can work with end it here.
RunDescription read_run_header(RunContext& ctx);

// Stage 3: read the pressure of every level, close the file and echo the
// sizes, the pressures and the label to the log.
void read_pressures(RunDescription& desc, const RunContext& ctx, WorkArrays& work, Log& log);

// Stage 4: read the date word of the date file.
void read_date_file(RunContext& ctx);

}  // namespace c2m
