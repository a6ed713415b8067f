// Owners for what type libraries and type information hand out: their attribute blocks,
// given back to the object that lent them, and the strings they allocate.
#pragma once

#include <oaidl.h>
#include <oleauto.h>

#include "framework/com_ptr.h"
#include "framework/unique_resource.h"

namespace fw {

struct BstrDeleter { void operator()(BSTR text) const { SysFreeString(text); } };
using UniqueBstr = UniqueResource<BSTR, BstrDeleter>;

namespace detail {
inline HRESULT TakeAttributes(ITypeLib* from, TLIBATTR** a) { return from->GetLibAttr(a); }
inline HRESULT TakeAttributes(ITypeInfo* from, TYPEATTR** a) { return from->GetTypeAttr(a); }
inline void GiveBack(ITypeLib* to, TLIBATTR* a) { to->ReleaseTLibAttr(a); }
inline void GiveBack(ITypeInfo* to, TYPEATTR* a) { to->ReleaseTypeAttr(a); }
}  // namespace detail

// The attributes of a type library (TLIBATTR) or of a type (TYPEATTR), asked for when the
// owner is made and given back when it goes. Check result() before reading them.
template <typename Source, typename Attributes>
class AttributesOf {
 public:
  explicit AttributesOf(const ComPtr<Source>& source)
      : source_(source), result_(source_ ? detail::TakeAttributes(source_.get(), &attributes_) : E_POINTER) {}
  ~AttributesOf() {
    if (attributes_) detail::GiveBack(source_.get(), attributes_);
  }
  AttributesOf(const AttributesOf&) = delete;
  AttributesOf& operator=(const AttributesOf&) = delete;
  HRESULT result() const { return result_; }
  const Attributes* operator->() const { return attributes_; }
  const Attributes& operator*() const { return *attributes_; }

 private:
  ComPtr<Source> source_;
  Attributes* attributes_ = nullptr;
  HRESULT result_;
};
using LibraryAttributes = AttributesOf<ITypeLib, TLIBATTR>;
using TypeAttributes = AttributesOf<ITypeInfo, TYPEATTR>;

}  // namespace fw
