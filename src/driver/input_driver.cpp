#include "driver/input_driver.hpp"

#include <new>

#include "conv2model/conv2model.hpp"
#include "estab/estab.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"
#include "textio/text_line.hpp"

namespace c2m {

namespace {

constexpr const char* stdin_name = "standard input";

}  // namespace

std::pair<std::string, std::string> read_standard_input(std::FILE* in) {
  std::string first, second;
  if (!read_text_line(in, first, stdin_name))
    throw ShortFile(std::string(stdin_name) +
                    ": end of file: expected line 1, the path of the input grid file");
  if (!read_text_line(in, second, stdin_name))
    throw ShortFile(std::string(stdin_name) +
                    ": end of file after line 1: expected line 2 (a second path, which must "
                    "be present but has no effect)");
  return {fixed_field(first, path_length), fixed_field(second, path_length)};
}

int input_driver(std::FILE* in, Log& log, std::FILE* err) {
  try {
    estab::es_ini();
    const auto [input_path, second_path] = read_standard_input(in);
    conv2model(input_path, second_path, log);
    return status_completed;
  } catch (const RunFailure& e) {
    std::fprintf(err, "input_driver: %s\n", e.what());
    return e.status();
  } catch (const std::bad_alloc&) {
    std::fprintf(err, "input_driver: out of memory\n");
    return status_io_failure;
  }
}

}  // namespace c2m
