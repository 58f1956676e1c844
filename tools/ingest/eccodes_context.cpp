#include "eccodes_context.hpp"

namespace c2m::ingest {

namespace {

thread_local std::string last_eccodes_message;

extern "C" void keep_eccodes_message(const codes_context*, int level, const char* text) {
  if (level == GRIB_LOG_ERROR || level == GRIB_LOG_FATAL || level == GRIB_LOG_WARNING)
    last_eccodes_message = text ? text : "";
}

}  // namespace

codes_context* eccodes() {
  static codes_context* const c = [] {
    codes_context* ctx = codes_context_get_default();
    codes_context_set_logging_proc(ctx, keep_eccodes_message);
    return ctx;
  }();
  return c;
}

std::string eccodes_reason(int err) {
  std::string r = codes_get_error_message(err);
  if (!last_eccodes_message.empty()) r += ": " + last_eccodes_message;
  last_eccodes_message.clear();
  return r;
}

}  // namespace c2m::ingest
