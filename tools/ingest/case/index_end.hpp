// Cases from files whose index ended short of the file's end (a message
// that cannot be framed or parsed, in a file indexed for many times): which
// validity times are whole in what was indexed.
//
// A file of many times holds them one after the other, as a rule: all the
// fields of one time, then all those of the next.  A time is taken as
// whole in such a file when, among the messages indexed, its fields are one run
// that another time's fields follow.  The time of the last fields before
// the end may go on beyond it, and in a file whose indexed messages hold any
// time in two runs (times interleaved) no time can be told whole.
#pragma once

#include <string>
#include <vector>

#include "source/fields.hpp"

namespace c2m::ingest {

// Why the fields of time T cannot be known whole from SOURCES (a file
// whose index ended before T's fields were seen to end), or "" when they
// can.
std::string beyond_index_end(const Sources& sources, const ValidTime& t);

// For each source whose index ended short, where and why, in words.
std::vector<std::string> index_ends(const Sources& sources);

}  // namespace c2m::ingest
