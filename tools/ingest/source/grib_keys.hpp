// ecCodes' handles and keys as the GRIB reader reads them, and the
// description of a field (its quantity, level, time, member, run and
// grid) from the keys of its handle.
#pragma once

#include <eccodes.h>

#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "source/fields.hpp"

namespace c2m::ingest::grib {

// The ecCodes context of ingest and the GRIB writer.
codes_context* context();

// The multi-field reader of ecCodes keeps its place in shared state: it is
// switched on once, and used by one thread at a time.
std::mutex& multi_field_mutex();
void multi_field_support();

// A handle, deleted with its owner.
struct Handle {
  codes_handle* h = nullptr;
  Handle() = default;
  explicit Handle(codes_handle* p) : h(p) {}
  ~Handle() {
    if (h) codes_handle_delete(h);
  }
  Handle(Handle&& o) noexcept : h(o.h) { o.h = nullptr; }
  Handle& operator=(Handle&& o) noexcept {
    std::swap(h, o.h);
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

// ecCodes 2.28 is not safe making handles on two threads at once: now and
// then an assertion (while it sizes a new handle's sections) ends the
// program.  So handles are made one at a time, under this lock; their keys
// and values are read on every thread at once.
std::mutex& handle_mutex();

// The handle of the message of SIZE bytes at DATA, or of its first
// sections when PARTIAL, made under handle_mutex(); empty when ecCodes
// cannot make it.
Handle handle_from(const unsigned char* data, std::size_t size, bool partial);

// The next field's handle of a message of several fields (ecCodes'
// multi-field reader, multi_field_mutex() held), made under handle_mutex().
Handle next_field_handle(void** data, std::size_t* left, int* err);

// The value of KEY; nothing when the message does not define it or holds
// it as missing.
std::optional<long> get_long(codes_handle* h, const char* key);
std::optional<double> get_double(codes_handle* h, const char* key);
// The text of KEY, or "" when there is none.
std::string get_string(codes_handle* h, const char* key);

// The description of the field of H: F holds where it is and its paramId
// already; its centre, short name, level, validity time, member, run and
// grid are read here.
void describe(codes_handle* h, FieldInfo& f);

}  // namespace c2m::ingest::grib
