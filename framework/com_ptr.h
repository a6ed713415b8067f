// A reference-holding COM interface pointer: one reference, released once.
#pragma once

#include <unknwn.h>
#include <utility>

namespace fw {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes over a reference the caller already owns.
  static ComPtr Attach(T* p) { ComPtr c; c.p_ = p; return c; }
  // Adds a reference of its own.
  static ComPtr Share(T* p) { if (p) p->AddRef(); return Attach(p); }
  ~ComPtr() { reset(); }

  ComPtr(const ComPtr& o) : p_(o.p_) { if (p_) p_->AddRef(); }
  ComPtr& operator=(const ComPtr& o) { ComPtr(o).swap(*this); return *this; }
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ComPtr& operator=(ComPtr&& o) noexcept { ComPtr(std::move(o)).swap(*this); return *this; }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() { if (p_) { T* p = p_; p_ = nullptr; p->Release(); } }
  T* detach() { T* p = p_; p_ = nullptr; return p; }
  T** put() { reset(); return &p_; }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  template <typename U>
  HRESULT As(ComPtr<U>* out) const {
    return p_ ? p_->QueryInterface(__uuidof(U), out->put_void()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace fw
