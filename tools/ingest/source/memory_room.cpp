#include "source/memory_room.hpp"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>

#include "kit/numbers.hpp"
#include "textio/errors.hpp"

namespace c2m::ingest {

namespace {

constexpr std::int64_t mib = 1024 * 1024;

// What a thread started maps for its stack: the soft limit on the stack,
// as the thread library takes it (8 MB when there is none).
std::int64_t stack_bytes() {
  struct rlimit r {};
  if (::getrlimit(RLIMIT_STACK, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return 8 * mib;
  return static_cast<std::int64_t>(r.rlim_cur);
}

// N bytes of address space can be mapped now.
bool room_for(std::int64_t n) {
  if (n <= 0) return true;
  void* p = ::mmap(nullptr, static_cast<std::size_t>(n), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return false;
  ::munmap(p, static_cast<std::size_t>(n));
  return true;
}

std::string in_mb(std::int64_t bytes) { return decimal((bytes + mib - 1) / mib) + " MB"; }

}  // namespace

std::int64_t address_space_limit() {
  struct rlimit r {};
  if (::getrlimit(RLIMIT_AS, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return -1;
  return static_cast<std::int64_t>(r.rlim_cur);
}

void one_arena_under_limit() {
  if (address_space_limit() >= 0) mallopt(M_ARENA_MAX, 1);
}

unsigned threads_with_room(unsigned wanted, std::int64_t per_thread, std::int64_t base) {
  if (address_space_limit() < 0) return wanted;
  // The calling thread has its stack already; each other maps one.
  for (unsigned k = wanted; k >= 1; --k)
    if (room_for(base + per_thread * k + stack_bytes() * (k - 1))) return k;
  return 0;
}

unsigned threads_for(unsigned wanted, std::int64_t per_thread, std::int64_t base, const std::string& what,
                     std::string& note) {
  const unsigned k = threads_with_room(wanted, per_thread, base);
  const std::string limit = "the limit of " + in_mb(address_space_limit()) + " on the address space";
  if (k == 0)
    throw SizeFailure(what + ": out of memory: " + limit + " leaves no room for the " +
                      in_mb(base + per_thread) + " that one thread needs");
  note.clear();
  if (k < wanted)
    note = what + ": " + limit + " leaves room for " + decimal(k) + " of the " + decimal(wanted) +
           " threads asked for: " + decimal(k) + " run";
  return k;
}

std::int64_t case_thread_bytes(const Sources& sources) {
  std::int64_t points = 0, length = 0;
  for (const auto& s : sources)
    for (const FieldInfo& f : s->fields()) {
      points = std::max(points, f.points);
      length = std::max(length, f.length);
    }
  // Six planes of 4-byte reals, the values as doubles twice (ours and
  // ecCodes'), the message twice (read, and ecCodes' copy), and 2 MB for
  // ecCodes' own working.
  return points * (6 * 4 + 2 * 8) + 2 * length + 2 * mib;
}

}  // namespace c2m::ingest
