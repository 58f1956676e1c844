// A work array: im x jm x nk 4-byte reals, indexed from 1, i fastest, then
// j, then k, so that a horizontal plane (fixed k) is one contiguous block of
// im x jm values, row j = 1 (the southernmost) first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace c2m {

class Field {
 public:
  Field() = default;
  // Allocates the array; its contents are undefined until a stage fills
  // them.  Throws SizeFailure when the memory cannot be had.
  Field(std::int32_t im, std::int32_t jm, std::int32_t nk);
  ~Field();
  Field(Field&& other) noexcept;
  Field& operator=(Field&& other) noexcept;
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  std::int32_t im() const { return im_; }
  std::int32_t jm() const { return jm_; }
  std::int32_t levels() const { return nk_; }
  std::size_t plane_size() const { return plane_size_; }

  float& operator()(std::int32_t i, std::int32_t j, std::int32_t k) {
    return data_[offset(i, j, k)];
  }
  float operator()(std::int32_t i, std::int32_t j, std::int32_t k) const {
    return data_[offset(i, j, k)];
  }

  // Plane k (1-based) as one contiguous block.
  std::span<float> plane(std::int32_t k) {
    return {data_ + static_cast<std::size_t>(k - 1) * plane_size_, plane_size_};
  }
  std::span<const float> plane(std::int32_t k) const {
    return {data_ + static_cast<std::size_t>(k - 1) * plane_size_, plane_size_};
  }
  // The whole array.
  std::span<float> all() { return {data_, plane_size_ * static_cast<std::size_t>(nk_)}; }

 private:
  std::size_t offset(std::int32_t i, std::int32_t j, std::int32_t k) const {
    return static_cast<std::size_t>(k - 1) * plane_size_ +
           static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(im_) +
           static_cast<std::size_t>(i - 1);
  }
  void release() noexcept;

  float* data_ = nullptr;
  void* base_ = nullptr;   // start of the mapping that holds data_
  std::size_t bytes_ = 0;  // size of the mapping
  std::int32_t im_ = 0, jm_ = 0, nk_ = 0;
  std::size_t plane_size_ = 0;
};

}  // namespace c2m
