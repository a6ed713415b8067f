// The handler's identity, lifetime and selection intake.
#include "shellext/image_file_context_menu.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <new>
#include <vector>

#include "fitting/preview_source.h"
#include "fitting/screen.h"
#include "fitting/wic_picture.h"
#include "framework/app.h"
#include "framework/win_owners.h"
#include "settings/update_checker.h"
#include "shellext/guids.h"
#include "shellext/module.h"

namespace framewise {

float previewHeight = 0;

namespace {

// A preview wider than this many pixels is reduced, aspect kept: an extreme panorama
// must not make the menu allocate hundreds of megabytes.
constexpr float kMaxPreviewWidth = 8192.0f;

float ScreenPreviewHeight() {
  fw::WindowDc screen(nullptr);
  if (!screen) return 192.0f;
  return 2.0f * static_cast<float>(GetDeviceCaps(screen.get(), LOGPIXELSY));
}

}  // namespace

HRESULT CreateImageFileContextMenu(IUnknown* outer, REFIID iid, void** object) {
  return ImageFileContextMenu::Create(outer, iid, object);
}

HRESULT ImageFileContextMenu::Create(IUnknown* outer, REFIID iid, void** object) {
  ImageFileContextMenu* handler = new (std::nothrow) ImageFileContextMenu(outer);
  if (!handler) return E_OUTOFMEMORY;
  // Through the object's own IUnknown: for the aggregated form the outer object gets
  // the inner unknown, which it must keep to control the lifetime.
  handler->inner_.AddRef();
  const HRESULT hr = handler->inner_.QueryInterface(iid, object);
  handler->inner_.Release();  // destroys the handler when QueryInterface failed
  return hr;
}

ImageFileContextMenu::ImageFileContextMenu(IUnknown* outer)
    : inner_(this), controlling_(outer ? outer : &inner_) {
  Module().Lock();
}

ImageFileContextMenu::~ImageFileContextMenu() {
  ResetSelection();
  typeInfo_.reset();
  Module().Unlock();
}

HRESULT ImageFileContextMenu::InnerUnknown::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  ImageFileContextMenu* self = self_;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *object = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(iid, IID_IImageFileContextMenu) || IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IImageFileContextMenu*>(self);
  } else if (IsEqualIID(iid, IID_IShellExtInit)) {
    *object = static_cast<IShellExtInit*>(self);
  } else if (IsEqualIID(iid, IID_IContextMenu) || IsEqualIID(iid, IID_IContextMenu2) ||
             IsEqualIID(iid, IID_IContextMenu3)) {
    *object = static_cast<IContextMenu3*>(self);
  } else {
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

ULONG ImageFileContextMenu::InnerUnknown::AddRef() { return ++self_->refs_; }

ULONG ImageFileContextMenu::InnerUnknown::Release() {
  const ULONG count = --self_->refs_;
  if (count == 0) delete self_;
  return count;
}

HRESULT ImageFileContextMenu::QueryInterface(REFIID iid, void** object) {
  return controlling_->QueryInterface(iid, object);
}
ULONG ImageFileContextMenu::AddRef() { return controlling_->AddRef(); }
ULONG ImageFileContextMenu::Release() { return controlling_->Release(); }

HRESULT ImageFileContextMenu::LoadTypeInfo() {
  if (typeInfo_) return S_OK;
  fw::ComPtr<ITypeLib> library;
  const HRESULT hr = LoadRegTypeLib(LIBID_FramewiseLib, 1, 0, 0, library.put());
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(IID_IImageFileContextMenu, typeInfo_.put());
}

HRESULT ImageFileContextMenu::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ImageFileContextMenu::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  fw::ModuleStateScope state;
  const HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  typeInfo_->AddRef();
  *info = typeInfo_.get();
  return S_OK;
}

HRESULT ImageFileContextMenu::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) {
  fw::ModuleStateScope state;
  const HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(typeInfo_.get(), names, count, ids);
}

HRESULT ImageFileContextMenu::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  fw::ModuleStateScope state;
  const HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return DispInvoke(static_cast<IImageFileContextMenu*>(this), typeInfo_.get(), id, flags, params,
                    result, exception, argError);
}

void ImageFileContextMenu::ResetSelection() {
  picturePath.clear();
  header = PictureHeader();
  screenAspect = 1.0;
  firstCommandId = -1;
  fileCount = 0;
  imageColumnWidth = 0;
  submenu = nullptr;
  menuLook = MenuLook();
  previewState = PreviewState::NotDecoded;
  preview.reset();
  menuItems.clear();
  monitors.reset();
  physical = PhysicalDesktop();
  physicalRead = false;
  menuMonitor = -1;
  groupMenus.clear();
  gdiplus.reset();  // after every GDI+ object of the handler is gone
}

HRESULT ImageFileContextMenu::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  try {
    fw::ModuleStateScope state;
    ResetSelection();
    UpdateChecker::ScheduleCheck(&updateThread);
    if (previewHeight == 0) previewHeight = ScreenPreviewHeight();

    if (!data) return E_INVALIDARG;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    // The medium is ours only when GetData succeeded: a failing object may leave
    // anything in it.
    STGMEDIUM received = {};
    if (FAILED(data->GetData(&format, &received))) return E_INVALIDARG;
    fw::StorageMedium medium(received);
    if (medium.get().tymed != TYMED_HGLOBAL) return E_INVALIDARG;
    fw::GlobalLock<HDROP> drop(medium.get().hGlobal);
    if (!drop) return E_INVALIDARG;

    fileCount = DragQueryFileW(drop.get(), 0xFFFFFFFF, nullptr, 0);
    if (fileCount == 0) return E_INVALIDARG;
    // The entry is offered for one picture only: a selection of several reads no file.
    if (fileCount != 1) return S_OK;

    // The name is read at its full length: a fixed buffer would silently cut a long
    // path to the name of some other file.
    const UINT length = DragQueryFileW(drop.get(), 0, nullptr, 0);
    std::vector<wchar_t> name(static_cast<size_t>(length) + 1);
    if (length == 0 || DragQueryFileW(drop.get(), 0, name.data(), length + 1) != length) {
      return E_INVALIDARG;
    }
    picturePath.assign(name.data(), length);

    gdiplus = fw::StartGdiplus();
    if (!gdiplus) return E_FAIL;
    const HRESULT read = ReadPictureForMenu(picturePath, &header, &screenAspect, &pictureShape);
    // A picture that cannot be used leaves nothing behind: a host that asks for the menu
    // all the same gets none, and nothing is decoded for it.
    if (FAILED(read)) ResetSelection();
    return read;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

bool MatchesAnyPattern(const std::wstring& path, const std::wstring& patterns) {
  size_t start = 0;
  while (start <= patterns.size()) {
    size_t end = patterns.find(L';', start);
    if (end == std::wstring::npos) end = patterns.size();
    // Each pattern at its full length: no fixed buffer to cut or overrun.
    const std::wstring pattern = patterns.substr(start, end - start);
    if (!pattern.empty() && PathMatchSpecW(path.c_str(), pattern.c_str())) return true;
    start = end + 1;
  }
  return false;
}

bool MatchesInstalledDecoder(const std::wstring& path) {
  UINT count = 0, size = 0;
  if (gp::GdipGetImageDecodersSize(&count, &size) != Gdiplus::Ok || count == 0 || size == 0) {
    return false;
  }
  std::vector<BYTE> buffer(size);
  auto decoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (gp::GdipGetImageDecoders(count, size, decoders) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (!decoders[i].FilenameExtension) continue;
    if (MatchesAnyPattern(path, decoders[i].FilenameExtension)) return true;
  }
  return false;
}

bool MatchesAnyInstalledDecoder(const std::wstring& path) {
  return MatchesInstalledDecoder(path) || MatchesInstalledWicDecoder(path);
}

bool ImageFileContextMenu::IsSupportedImage(const std::wstring& path) {
  return MatchesAnyInstalledDecoder(path);
}

HRESULT ReadPictureForMenu(const std::wstring& path, PictureHeader* header, double* screenAspect,
                           PictureShape* shape) {
  if (!MatchesAnyInstalledDecoder(path)) return E_INVALIDARG;
  if (!GetScreenAspect(screenAspect)) return E_FAIL;
  // Only the header: the shell asks on each right-click and double-click, so the pixels
  // wait until a command or the classic submenu needs them.
  if (!ReadPictureFileHeader(path.c_str(), header)) return E_INVALIDARG;
  uint32_t width = 0, height = 0;
  UprightSize(*header, &width, &height);
  const float aspect = static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
  *shape = ClassifyPicture(aspect, *screenAspect);
  return S_OK;
}

void ImageFileContextMenu::DecodePreview() {
  if (previewState != PreviewState::NotDecoded) return;
  previewState = PreviewState::Unreadable;
  fw::GpGraphicsOwner desktop;
  if (gp::GdipCreateFromHWND(GetDesktopWindow(), desktop.put()) != Gdiplus::Ok) return;
  const float height = static_cast<float>(static_cast<int>(previewHeight));
  if (MakePreviewCopy(picturePath.c_str(), header, height, kMaxPreviewWidth, desktop.get(),
                      &preview)) {
    previewState = PreviewState::Decoded;
  }
}

}  // namespace framewise
