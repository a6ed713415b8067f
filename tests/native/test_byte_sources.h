// Byte sources the readers' tests share: files that fail part-way as real streams can.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "fitting/portable/picture_header.h"

namespace framewise {
namespace testsources {

// A source whose reads throw past its first `good` bytes, as a stream over a file that
// goes away, or is still arriving, can.
class ThrowingSource final : public ByteSource {
 public:
  ThrowingSource(std::vector<uint8_t> data, size_t good) : data_(std::move(data)), good_(good) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (offset + size > good_) throw std::runtime_error("read failed");
    MemoryByteSource source(data_.data(), data_.size());
    return source.ReadAt(offset, buffer, size);
  }

 private:
  std::vector<uint8_t> data_;
  size_t good_;
};

// A file of `size` bytes, zero but for the pieces placed in it: gigabytes that take no
// memory.
class SparseSource final : public ByteSource {
 public:
  SparseSource(uint64_t size, std::vector<std::pair<uint64_t, std::vector<uint8_t>>> pieces)
      : size_(size), pieces_(std::move(pieces)) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (offset >= size_) return 0;
    size = size_t(std::min<uint64_t>(size, size_ - offset));
    auto* out = static_cast<uint8_t*>(buffer);
    std::fill_n(out, size, 0);
    for (const auto& piece : pieces_) {
      for (size_t i = 0; i < piece.second.size(); ++i) {
        const uint64_t at = piece.first + i;
        if (at >= offset && at - offset < size) out[at - offset] = piece.second[i];
      }
    }
    return size;
  }

 private:
  uint64_t size_;
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> pieces_;
};

}  // namespace testsources
}  // namespace framewise
