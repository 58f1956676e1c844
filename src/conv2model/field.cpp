#include "conv2model/field.hpp"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "textio/errors.hpp"

namespace c2m {

namespace {

// Large arrays are mapped on 2 MB boundaries and offered to the kernel for
// transparent huge pages: filling a fresh array then costs one fault per
// 2 MB instead of one per 4 KB.  Where huge pages are not offered the advice
// is refused and ordinary pages serve.
constexpr std::size_t huge_page = std::size_t{2} << 20;

std::size_t checked_bytes(std::int32_t im, std::int32_t jm, std::int32_t nk) {
  const auto count = static_cast<unsigned __int128>(im) * static_cast<unsigned>(jm) *
                     static_cast<unsigned>(nk) * sizeof(float);
  if (count > std::numeric_limits<std::size_t>::max() - huge_page)
    throw SizeFailure("work array of " + std::to_string(im) + " x " + std::to_string(jm) +
                      " x " + std::to_string(nk) + " values is too large to address");
  return static_cast<std::size_t>(count);
}

}  // namespace

Field::Field(std::int32_t im, std::int32_t jm, std::int32_t nk)
    : im_(im), jm_(jm), nk_(nk),
      plane_size_(static_cast<std::size_t>(im) * static_cast<std::size_t>(jm)) {
  const std::size_t need = checked_bytes(im, jm, nk);
  if (need == 0) return;
  const std::size_t bytes = (need + huge_page - 1) / huge_page * huge_page + huge_page;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED)
    throw SizeFailure("cannot allocate a work array of " + std::to_string(need) +
                      " bytes: " + std::strerror(errno));
  // Keep the whole mapping, start at its first 2 MB boundary.
  auto addr = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t aligned = (addr + huge_page - 1) & ~(huge_page - 1);
  madvise(reinterpret_cast<void*>(aligned), bytes - (aligned - addr), MADV_HUGEPAGE);
  base_ = p;
  bytes_ = bytes;
  data_ = reinterpret_cast<float*>(aligned);
}

void Field::release() noexcept {
  if (base_ != nullptr) munmap(base_, bytes_);
  base_ = nullptr;
  data_ = nullptr;
  bytes_ = 0;
}

Field::~Field() { release(); }

Field::Field(Field&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      base_(std::exchange(other.base_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)),
      im_(other.im_), jm_(other.jm_), nk_(other.nk_), plane_size_(other.plane_size_) {}

Field& Field::operator=(Field&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    base_ = std::exchange(other.base_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
    im_ = other.im_;
    jm_ = other.jm_;
    nk_ = other.nk_;
    plane_size_ = other.plane_size_;
  }
  return *this;
}

}  // namespace c2m
