#include "tests/support/shell_data_object.h"

#include <shlobj.h>

#include <cstring>

#include "framework/task_memory.h"
#include "framework/unique_resource.h"
#include "framework/win_owners.h"

namespace testsupport {

namespace {

using ItemIds = fw::TaskMemory<ITEMIDLIST>;

struct GlobalMemoryDeleter { void operator()(HGLOBAL memory) const { GlobalFree(memory); } };
using GlobalMemory = fw::UniqueResource<HGLOBAL, GlobalMemoryDeleter>;

// The part of a path after its last backslash (the whole path when it has none).
std::wstring NameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

fw::ComPtr<IDataObject> ShellDataObject(const std::vector<std::wstring>& paths) {
  fw::ComPtr<IDataObject> result;
  if (paths.empty()) return result;
  const size_t slash = paths[0].find_last_of(L'\\');
  if (slash == std::wstring::npos) return result;
  std::wstring folderPath = paths[0].substr(0, slash);

  fw::ComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.put()))) return result;
  ItemIds folderIds;
  if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, &folderPath[0], nullptr,
                                       reinterpret_cast<PIDLIST_RELATIVE*>(folderIds.put()),
                                       nullptr))) {
    return result;
  }
  fw::ComPtr<IShellFolder> folder;
  if (FAILED(desktop->BindToObject(folderIds.get(), nullptr, IID_IShellFolder, folder.put_void()))) {
    return result;
  }
  std::vector<ItemIds> children;
  std::vector<PCUITEMID_CHILD> childIds;
  for (const auto& path : paths) {
    std::wstring name = NameOf(path);
    ItemIds child;
    if (FAILED(folder->ParseDisplayName(nullptr, nullptr, &name[0], nullptr,
                                        reinterpret_cast<PIDLIST_RELATIVE*>(child.put()), nullptr))) {
      return result;
    }
    childIds.push_back(reinterpret_cast<PCUITEMID_CHILD>(child.get()));
    children.push_back(std::move(child));
  }
  if (FAILED(folder->GetUIObjectOf(nullptr, static_cast<UINT>(childIds.size()), childIds.data(),
                                   IID_IDataObject, nullptr, result.put_void()))) {
    result.reset();
  }
  return result;
}

namespace {

class RawDataObject : public IDataObject {
 public:
  explicit RawDataObject(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (bytes_.empty() || format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes_.size()));
    if (!memory) return E_OUTOFMEMORY;
    {
      fw::GlobalLock<void*> locked(memory.get());
      if (!locked) return E_OUTOFMEMORY;
      memcpy(locked.get(), bytes_.data(), bytes_.size());
    }
    // The medium, and with it the memory, belongs to the caller from here.
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory.release();
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  virtual ~RawDataObject() = default;
  ULONG refs_ = 1;
  std::vector<unsigned char> bytes_;
};

}  // namespace

fw::ComPtr<IDataObject> RawDropDataObject(const std::vector<unsigned char>& bytes) {
  return fw::ComPtr<IDataObject>::Attach(new RawDataObject(bytes));
}

std::vector<unsigned char> DropFilesBytes(const std::vector<std::wstring>& names) {
  std::vector<unsigned char> bytes(sizeof(DROPFILES));
  auto header = reinterpret_cast<DROPFILES*>(bytes.data());
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  for (const auto& name : names) {
    const auto p = reinterpret_cast<const unsigned char*>(name.c_str());
    bytes.insert(bytes.end(), p, p + (name.size() + 1) * sizeof(wchar_t));
  }
  bytes.insert(bytes.end(), 4, 0);  // the list ends with an empty name
  return bytes;
}

}  // namespace testsupport
