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

// ecCodes keeps the paths of its definition files in a cache for the life
// of the process.  Two threads that look up the same file at once both
// add it, and the entry that is replaced is never freed: a few hundred
// bytes, once.  The leak checker of a sanitizer build is told to pass over
// what ecCodes allocates (its stacks carry no names past its allocator, so
// the library is the finest thing to name), or every program that reads
// GRIB on several threads would end as a failure.
#if defined(__SANITIZE_ADDRESS__)
#define C2M_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define C2M_LEAK_CHECKED 1
#endif
#endif
// libnetcdf (4.9.0) leaks the structures it made for a netCDF-4 file
// whose opening fails in the HDF5 library (about 28 KB per refused file,
// from NC4_open; HDF5 keeps a little of its own): neither library's
// stacks carry names past their allocators either, so both are named.
#ifdef C2M_LEAK_CHECKED
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libeccodes.so\nleak:libnetcdf.so\nleak:libhdf5_serial.so\n";
}
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif
