#include "plan/candidates.hpp"

#include <algorithm>
#include <filesystem>
#include <map>

#include "kit/numbers.hpp"

namespace c2m::ingest {

std::vector<Candidate> candidates(const Sources& sources, const FieldTable& table) {
  std::vector<Candidate> out;
  for (const auto& s : sources)
    for (const FieldInfo& f : s->fields())
      if (const auto e = table.match(f)) out.push_back({&f, *e});
  return out;
}

bool wins(const Candidate& a, const Candidate& b) {
  if (a.entry != b.entry) return a.entry < b.entry;
  if (a.field->file != b.field->file) return a.field->file < b.field->file;
  if (a.field->message != b.field->message) return a.field->message < b.field->message;
  return a.field->subfield < b.field->subfield;
}

std::string holdings(const Sources& sources, const std::optional<ValidTime>& time) {
  // Parameters in the order they first appear, each with its kinds of level.
  struct Kind {
    std::string level_type;
    int count = 0;
  };
  struct Param {
    std::string name;
    std::vector<Kind> kinds;
  };
  std::vector<Param> params;
  std::map<std::string, std::size_t> at;
  bool other_times = false;
  for (const auto& s : sources)
    for (const FieldInfo& f : s->fields()) {
      // Of a case of one time, the fields of that time: what the others
      // hold is no reason why this one cannot be made.
      if (time && !f.timeless && f.valid != *time) {
        other_times = true;
        continue;
      }
      // A netCDF variable of no known parameter is named by itself.
      const std::string key = f.param_id == 0 && !f.variable.empty()
                                  ? f.variable + " (no known parameter)"
                                  : f.short_name + " (" + decimal(f.param_id) + ")";
      auto [it, fresh] = at.try_emplace(key, params.size());
      if (fresh) params.push_back({key, {}});
      auto& kinds = params[it->second].kinds;
      auto k = std::find_if(kinds.begin(), kinds.end(),
                            [&](const Kind& x) { return x.level_type == f.level_type; });
      if (k == kinds.end()) kinds.push_back({f.level_type, 1});
      else ++k->count;
    }
  constexpr std::size_t shown = 60;
  std::string t = other_times ? "valid at " + time->text() + " the files hold " : "the files hold ";
  for (std::size_t n = 0; n < params.size() && n < shown; ++n) {
    if (n > 0) t += "; ";
    t += params[n].name + " on ";
    for (std::size_t k = 0; k < params[n].kinds.size(); ++k) {
      if (k > 0) t += ", ";
      t += level_type_words(params[n].kinds[k].level_type);
      if (params[n].kinds[k].count > 1) t += " x" + decimal(params[n].kinds[k].count);
    }
  }
  if (params.size() > shown) t += "; and " + decimal(params.size() - shown) + " parameters more";
  if (params.empty()) t += "no field";
  std::string others;
  std::size_t count = 0;
  for (const auto& s : sources)
    for (const std::string& o : s->others())
      if (++count <= shown) others += (others.empty() ? "" : "; ") + o;
  if (count > shown) others += "; and " + decimal(count - shown) + " more";
  if (!others.empty()) t += "; and variables that are no field of a grid: " + others;
  return t;
}

std::vector<std::string> file_names(const Sources& sources) {
  std::vector<std::string> names;
  for (const auto& s : sources) {
    const std::string base = std::filesystem::path(s->path()).filename().string();
    names.push_back(base.empty() ? s->path() : base);
  }
  std::vector<std::string> shown = names;
  for (std::size_t a = 0; a < names.size(); ++a)
    for (std::size_t b = 0; b < names.size(); ++b)
      if (a != b && names[a] == names[b]) shown[a] = sources[a]->path();
  return shown;
}

std::string name_of(const FieldInfo& f, const Sources& sources) {
  if (!f.variable.empty())
    return sources[static_cast<std::size_t>(f.file)]->path() + " variable " + f.variable + " (" +
           f.level_words() + ", " + f.valid.words() + ")";
  return sources[static_cast<std::size_t>(f.file)]->path() + " message " + decimal(f.message) +
         (f.subfield > 0 ? "." + decimal(f.subfield) : std::string()) + " (" + f.short_name +
         ", " + f.level_words() + ")";
}

}  // namespace c2m::ingest
