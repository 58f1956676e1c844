// The inventory of a model data file: what the grid is, then one line per
// record with its number, byte offset, short name, level, the range, mean
// and standard deviation of its valid points, the counts of points that are
// not valid, and the field in words.  Every column but the last is one
// word, so that lines can be picked with grep and awk; the words of the
// description come last.  As CSV: a header and one row per record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "model_file.hpp"
#include "record_stats.hpp"

namespace c2m::info {

enum class Format { text, csv };

// The text line (or CSV row) of record N with statistics S.
std::string record_line(const md::ModelFile& file, std::int64_t n, const md::RecordStats& s,
                        Format format);
// The column header of the text lines, or the CSV header.
std::string header_line(const md::ModelFile& file, Format format);

// Writes the inventory of RECORDS (in the order given) to OUT, reading one
// record at a time.  Text: the grid summary, the notes on the grid, the
// header and the lines; CSV: the header and the rows, the notes going to
// NOTES as "note: ..." lines.  Records that do not lie whole in the file
// are left out; a file that is not exactly as large as its grid
// description says is then refused (SizeFailure), after the records that
// could be read.
void write_inventory(std::FILE* out, std::FILE* notes, md::ModelFile& file,
                     std::span<const std::int64_t> records, Format format);

}  // namespace c2m::info
