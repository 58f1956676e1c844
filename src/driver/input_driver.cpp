#include "driver/input_driver.hpp"

#include <algorithm>
#include <new>

#include "conv2model/conv2model.hpp"
#include "estab/estab.hpp"
#include "textio/errors.hpp"
#include "textio/fixed_field.hpp"
#include "textio/quote.hpp"
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
                    "be present but has no effect)" +
                    (has_bare_cr(first) ? cr_only_hint : ""));
  return {fixed_field(first, path_length), fixed_field(second, path_length)};
}

int convert_case(const std::string& line1, const std::string& line2, Log& log, std::FILE* err,
                 const std::string& program, const RunOptions& options) {
  try {
    estab::es_ini();
    conv2model(fixed_field(line1, path_length), fixed_field(line2, path_length), log, options);
    return status_completed;
  } catch (const RunFailure& e) {
    std::fprintf(err, "%s: %s\n", program.c_str(), e.what());
    return e.status();
  } catch (const std::bad_alloc&) {
    std::fprintf(err, "%s: out of memory\n", program.c_str());
    return status_io_failure;
  }
}

CaseCheck check_case(const std::string& dir, const std::string& input) {
  CaseCheck c;
  std::string warnings;
  Log log;
  log.warn_to(warnings);
  RunOptions options;
  options.check_only = true;
  options.directory = dir;
  try {
    estab::es_ini();
    conv2model(fixed_field(input, path_length), fixed_field("none", path_length), log, options);
  } catch (const RunFailure& e) {
    c.status = e.status();
    c.reason = e.what();
  } catch (const std::bad_alloc&) {
    c.status = status_io_failure;
    c.reason = input + ": out of memory";
  }
  for (std::size_t at = 0; at < warnings.size();) {
    const std::size_t end = std::min(warnings.find('\n', at), warnings.size());
    if (end > at) c.warnings.push_back(warnings.substr(at, end - at));
    at = end + 1;
  }
  return c;
}

int input_driver(std::FILE* in, Log& log, std::FILE* err) {
  std::pair<std::string, std::string> lines;
  try {
    lines = read_standard_input(in);
  } catch (const RunFailure& e) {
    std::fprintf(err, "input_driver: %s\n", e.what());
    return e.status();
  }
  return convert_case(lines.first, lines.second, log, err, "input_driver");
}

}  // namespace c2m
