// Owners for Win32 handles: registry keys, kernel handles, GDI objects, menus, DCs,
// global-memory locks, storage media, Internet handles and loaded modules.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <wininet.h>

#include "framework/unique_resource.h"

namespace fw {

struct RegKeyDeleter { void operator()(HKEY h) const { RegCloseKey(h); } };
struct HandleDeleter { void operator()(HANDLE h) const { CloseHandle(h); } };
struct GdiObjectDeleter { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
struct MenuDeleter { void operator()(HMENU h) const { DestroyMenu(h); } };
struct MemoryDcDeleter { void operator()(HDC h) const { DeleteDC(h); } };
struct InternetDeleter { void operator()(HINTERNET h) const { InternetCloseHandle(h); } };
struct ModuleDeleter { void operator()(HMODULE h) const { FreeLibrary(h); } };
struct IconDeleter { void operator()(HICON h) const { DestroyIcon(h); } };

using UniqueHKey = UniqueResource<HKEY, RegKeyDeleter>;
using UniqueHandle = UniqueResource<HANDLE, HandleDeleter>;
using UniqueMenu = UniqueResource<HMENU, MenuDeleter>;
using UniqueMemoryDc = UniqueResource<HDC, MemoryDcDeleter>;
using UniqueInternet = UniqueResource<HINTERNET, InternetDeleter>;
using UniqueModule = UniqueResource<HMODULE, ModuleDeleter>;
using UniqueIcon = UniqueResource<HICON, IconDeleter>;

template <typename T>
using UniqueGdiObject = UniqueResource<T, GdiObjectDeleter>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;

// A DC from GetDC, given back with ReleaseDC to the same window.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() { if (dc_) ReleaseDC(window_, dc_); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC and puts the previous one back.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~ScopedSelect() { if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_); }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A lock on global memory, unlocked when the owner goes.
template <typename T>
class GlobalLock {
 public:
  explicit GlobalLock(HGLOBAL memory)
      : memory_(memory), data_(memory ? static_cast<T>(::GlobalLock(memory)) : nullptr) {}
  ~GlobalLock() { if (data_) GlobalUnlock(memory_); }
  GlobalLock(const GlobalLock&) = delete;
  GlobalLock& operator=(const GlobalLock&) = delete;
  T get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  HGLOBAL memory_;
  T data_;
};

// A storage medium filled by IDataObject::GetData, released with ReleaseStgMedium.
class StorageMedium {
 public:
  StorageMedium() { ZeroMemory(&medium_, sizeof(medium_)); }
  // Takes over a medium that GetData filled (only after it succeeded).
  explicit StorageMedium(const STGMEDIUM& filled) : medium_(filled) {}
  ~StorageMedium() { reset(); }
  StorageMedium(const StorageMedium&) = delete;
  StorageMedium& operator=(const StorageMedium&) = delete;
  STGMEDIUM& get() { return medium_; }
  void reset() {
    if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
    ZeroMemory(&medium_, sizeof(medium_));
  }

 private:
  STGMEDIUM medium_;
};

// Restores the previous cursor when it goes.
class ScopedCursor {
 public:
  explicit ScopedCursor(HCURSOR cursor) : previous_(SetCursor(cursor)) {}
  ~ScopedCursor() { SetCursor(previous_); }
  ScopedCursor(const ScopedCursor&) = delete;
  ScopedCursor& operator=(const ScopedCursor&) = delete;

 private:
  HCURSOR previous_;
};

// A critical section owned by the object.
class CriticalSection {
 public:
  CriticalSection() : ready_(InitializeCriticalSectionAndSpinCount(&section_, 0) != FALSE) {}
  ~CriticalSection() { if (ready_) DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  bool ready() const { return ready_; }
  CRITICAL_SECTION* get() { return &section_; }

 private:
  CRITICAL_SECTION section_;
  bool ready_;
};

// Holds a critical section for the scope it lives in. The section must be ready.
class ScopedLock {
 public:
  explicit ScopedLock(CriticalSection& section) : section_(section) { EnterCriticalSection(section_.get()); }
  ~ScopedLock() { LeaveCriticalSection(section_.get()); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace fw
