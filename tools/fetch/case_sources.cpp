#include "case_sources.hpp"

namespace c2m::fetch {

namespace {

using ingest::DecodeScratch;
using ingest::FieldInfo;
using ingest::FieldSource;

// A source standing for another: everything asked of it is asked of the
// other.  Its fields may be copies with other facts; their values are
// read as the other's field at the same place.
class Standing : public FieldSource {
 public:
  explicit Standing(std::unique_ptr<FieldSource> inner) : inner_(std::move(inner)), fields_(inner_->fields()) {}
  const std::string& path() const override { return inner_->path(); }
  std::string format() const override { return inner_->format(); }
  int messages() const override { return inner_->messages(); }
  const std::vector<FieldInfo>& fields() const override { return fields_; }
  void read(const FieldInfo& f, DecodeScratch& scratch, std::vector<double>& values) const override {
    inner_->read(own(f), scratch, values);
  }
  bool read_range(const FieldInfo& f, DecodeScratch& scratch, std::int64_t first,
                  std::span<double> out) const override {
    return inner_->read_range(own(f), scratch, first, out);
  }
  std::vector<std::string> others() const override { return inner_->others(); }
  void check_unchanged() const override { inner_->check_unchanged(); }
  const std::optional<ingest::IndexEnd>& index_end() const override { return inner_->index_end(); }

 protected:
  const FieldInfo& own(const FieldInfo& f) const {
    return inner_->fields()[static_cast<std::size_t>(&f - fields_.data())];
  }
  std::unique_ptr<FieldSource> inner_;
  std::vector<FieldInfo> fields_;
};

class Named : public Standing {
 public:
  Named(std::unique_ptr<FieldSource> inner, std::string name) : Standing(std::move(inner)), name_(std::move(name)) {}
  const std::string& path() const override { return name_; }

 private:
  std::string name_;
};

class Invariant : public Standing {
 public:
  Invariant(std::unique_ptr<FieldSource> inner, const ingest::ValidTime& valid) : Standing(std::move(inner)) {
    for (FieldInfo& f : fields_) {
      f.valid = valid;
      f.timeless = false;
    }
  }
};

}  // namespace

std::unique_ptr<FieldSource> named_source(std::unique_ptr<FieldSource> source, std::string name) {
  return std::make_unique<Named>(std::move(source), std::move(name));
}

std::unique_ptr<FieldSource> invariant_source(std::unique_ptr<FieldSource> source, const ingest::ValidTime& valid) {
  return std::make_unique<Invariant>(std::move(source), valid);
}

}  // namespace c2m::fetch
