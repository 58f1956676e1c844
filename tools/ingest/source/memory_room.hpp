// Threads under a limit on the address space (ulimit -v, RLIMIT_AS).
//
// ecCodes does not survive every allocation that fails: some of its
// allocators stop the program on a null pointer, others go on with it.  A
// run that meets the limit in the middle of a decode ends in a signal, not
// in a diagnostic.  So, under a limit, the room the threads of a run need
// is looked for before they start: as many threads as it has room for run,
// fewer than were asked if need be (said), and a run without room for one
// ends at once with "out of memory".
//
// The room is looked for by mapping it (without touching it: the limit
// counts what is mapped, not what is used) and giving it back.  Under a
// limit, the threads share one arena of the allocator: each arena of its
// own would map 64 MB of address space, which a limit of a few hundred
// megabytes cannot spare for every thread.
#pragma once

#include <cstdint>
#include <string>

#include "source/fields.hpp"

namespace c2m::ingest {

// The limit on the address space in bytes, or -1 when there is none.
std::int64_t address_space_limit();

// Under a limit, one arena of the allocator for every thread.  Called
// before any thread is started.
void one_arena_under_limit();

// Of WANTED threads (the calling one among them), how many the limit
// leaves room for now, each needing PER_THREAD bytes besides its stack,
// the run BASE bytes more: WANTED without a limit, 0 when not even one.
unsigned threads_with_room(unsigned wanted, std::int64_t per_thread, std::int64_t base);

// The same for WHAT ("the headers of in.grib"): NOTE is set to the words
// that say so when fewer than WANTED can run; SizeFailure (out of memory)
// when none can.
unsigned threads_for(unsigned wanted, std::int64_t per_thread, std::int64_t base, const std::string& what,
                     std::string& note);

// What a thread that makes the records of a case from SOURCES needs at
// most: the planes of its largest field (those a level's humidity holds
// at once, as 4-byte reals, and its values decoded, ecCodes' copy among
// them) and the bytes of its largest message, twice, with ecCodes' working.
std::int64_t case_thread_bytes(const Sources& sources);

// What a thread that parses the headers of GRIB messages needs at most,
// and what the headers' first reading needs besides (ecCodes reads its
// definitions then, once: about 20 MB of them for GRIB 2).
inline constexpr std::int64_t header_thread_bytes = 4 * 1024 * 1024;
inline constexpr std::int64_t definitions_bytes = 24 * 1024 * 1024;

}  // namespace c2m::ingest
