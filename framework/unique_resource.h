// One move-only owner for any handle-like value: the value is released exactly once,
// by the Deleter, when the owner is reset or destroyed.
#pragma once

#include <utility>

namespace fw {

template <typename T, typename Deleter, T Empty = T()>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Empty; }

  // Gives the value up without releasing it: the caller owns it now.
  T release() {
    T value = value_;
    value_ = Empty;
    return value;
  }

  void reset(T value = Empty) {
    T old = value_;
    value_ = value;
    if (old != Empty) Deleter()(old);
  }

  // Releases the current value and returns the slot for a creation function to fill.
  T* put() {
    reset();
    return &value_;
  }

 private:
  T value_ = Empty;
};

}  // namespace fw
