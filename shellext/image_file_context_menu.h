// The context-menu handler the shell creates for each right-click on an image file.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <oleacc.h>
#include <shlobj.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fitting/imaging.h"
#include "fitting/monitor_wallpapers.h"
#include "fitting/physical_desktop.h"
#include "fitting/portable/geometry.h"
#include "fitting/portable/picture_header.h"
#include "framework/com_ptr.h"
#include "framework/win_owners.h"
#include "shellext/menu_look.h"

namespace framewise {

// The class's dual interface: no operations of its own; type information comes from the
// DLL's type library.
struct IImageFileContextMenu : public IDispatch {};

// The run-time record of one inserted submenu item: its text, its access key, its size,
// and for a fitting row its framed preview, drawn once when the submenu opened.
struct MenuItem {
  // The item data the menu holds points here: a screen reader reads the item's text from
  // it (an owner-drawn item has no other name for it).
  MSAAMENUINFO accessible = {};
  std::wstring text;
  std::wstring menuString;  // the text as the menu's string: "&" doubled, the key marked
  wchar_t key = 0;          // the access key, folded (FoldAccessKey); 0 for none
  bool preview = false;     // a fitting row, shown with its framed preview
  bool enabled = true;
  fw::GpBitmapOwner image;  // the row's framed preview, for preview rows only
  // A row of a monitor group's submenu: its preview is made by its first paint, so opening
  // the submenu costs no more with several monitors than with one.
  bool previewDeferred = false;
  UINT width = 0;           // as measured
  UINT height = 0;
  // The preview as it sits in the item's image column, with alpha, for preview rows only;
  // painting puts it over the background.
  fw::UniqueBitmap picture;
  // The item as painted at the size the menu gives it, made by its first paint in each
  // form (plain or selected, key underlined or not); later paints copy it.
  struct Painted {
    fw::UniqueBitmap bitmap;
    LONG width = 0;
    LONG height = 0;
  };
  Painted painted[4];
};

// How far the handler's picture has been decoded for the menu.
enum class PreviewState { NotDecoded, Decoded, Unreadable };

// Height in pixels of every handler's preview: twice the screen's vertical dots per inch,
// set by the first Initialize in the process and kept.
extern float previewHeight;

class ImageFileContextMenu final : public IImageFileContextMenu,
                                   public IShellExtInit,
                                   public IContextMenu3 {
 public:
  // Makes a handler; with `outer`, the aggregated form whose IUnknown is the outer one.
  static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

  // IUnknown (delegates to the controlling unknown).
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch, served from the registered type library.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // IShellExtInit
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progIdKey) override;

  // IContextMenu, IContextMenu2, IContextMenu3
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                UINT flags) override;
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT flags, UINT* reserved, LPSTR name,
                                UINT cchMax) override;
  STDMETHODIMP HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) override;
  STDMETHODIMP HandleMenuMsg2(UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT* result) override;

  // Returns the handler to its empty state (picture, preview, menu records, GDI+).
  void ResetSelection();
  bool IsSupportedImage(const std::wstring& path);
  // Decodes the picture into the preview copy, once per selection.
  void DecodePreview();
  HRESULT PopulateSubmenu(HMENU popup, LRESULT* result);
  // A row to insert: its offset, its record (null for a separator) and the popup it opens.
  struct Row {
    int offset;
    std::unique_ptr<MenuItem> item;
    HMENU child;
  };
  // Inserts rows into a popup with access keys chosen over their texts.
  HRESULT InsertRows(HMENU popup, std::vector<Row>* rows);
  // Measures every inserted item and draws each once, plain and selected.
  HRESULT LayOutMenuItems();
  HRESULT DispatchMenuMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  HRESULT MeasureMenuItem(MEASUREITEMSTRUCT* measure, LRESULT* result);
  HRESULT DrawMenuItem(DRAWITEMSTRUCT* draw, LRESULT* result);
  // Paints an item at (0, 0) of `dc`, `width` x `height`: background, preview and text.
  bool PaintMenuItem(HDC dc, const MenuItem& item, LONG width, LONG height, bool selected, bool hideKey) const;
  // Whether the desktop has several monitors the shell can give wallpapers one by one:
  // then `monitors` holds them and the submenu offers the span and one-monitor groups.
  bool FindSeveralMonitors();
  // Reads the physical layout, the monitor the menu opens on and the picture's shape
  // against the span and against that monitor, for the groups' rows.
  void ReadMonitorGroups();
  // A group's fitting row's preview: the span's parts framed, or that monitor's cut.
  bool MakeGroupPreview(int offset, GpBitmap* copy, int32_t width, int32_t height,
                        fw::GpBitmapOwner* out);
  // A fitting row's framed preview at the laid-out size, into item->image (the copy itself
  // where it cannot be fitted).
  void MakeItemPreview(int offset, MenuItem* item);
  // The preview of a group's row whose making waited for its first paint. False when its
  // picture could not be made.
  bool MakeDeferredPreview(UINT itemId, MenuItem* item);
  // A typed key in our submenu: the item with that access key is chosen.
  HRESULT AnswerMenuChar(wchar_t typed, HMENU menu, LRESULT* result);

  // Fields; their construction values are the empty state.
  std::wstring picturePath;
  UINT fileCount = 0;
  PictureHeader header;  // read by Initialize; no pixel is decoded before the submenu opens
  int firstCommandId = -1;
  PreviewState previewState = PreviewState::NotDecoded;
  fw::GpBitmapOwner preview;  // the upright preview copy, twice the dpi high
  std::map<int, std::unique_ptr<MenuItem>> menuItems;
  PictureShape pictureShape = WiderThanScreen;
  UINT imageColumnWidth = 0;
  int32_t previewWidth = 0, previewHeightPx = 0;  // the framed previews' size, as laid out
  HMENU submenu = nullptr;  // the popup last filled; the shell owns it
  MenuLook menuLook;        // read when the submenu opens, used by every paint
  double screenAspect = 1.0;
  // Several monitors: found when the menu is queried, read when the submenu opens.
  std::unique_ptr<MonitorWallpapers> monitors;
  PhysicalDesktop physical;
  bool physicalRead = false;
  int menuMonitor = -1;
  PictureShape spanShape = WiderThanScreen;
  PictureShape monitorShape = WiderThanScreen;
  std::vector<HMENU> groupMenus;  // the groups' popups, owned by the submenu
  HANDLE updateThread = nullptr;  // only stored; the update worker owns it
  // Last: GDI+ shuts down only after every GDI+ object above is gone.
  fw::GdiplusToken gdiplus;

 private:
  // The non-delegating IUnknown: the object's own identity and reference count.
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(ImageFileContextMenu* self) : self_(self) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    ImageFileContextMenu* self_;
  };

  explicit ImageFileContextMenu(IUnknown* outer);
  ~ImageFileContextMenu();
  ImageFileContextMenu(const ImageFileContextMenu&) = delete;
  ImageFileContextMenu& operator=(const ImageFileContextMenu&) = delete;

  HRESULT LoadTypeInfo();
  // The record of an owner-drawn item of this handler's submenu, or null.
  MenuItem* FindMenuItem(UINT controlType, UINT itemId);

  ULONG refs_ = 0;  // plain: the class lives in single-threaded apartments
  InnerUnknown inner_;
  IUnknown* controlling_;  // the outer unknown when aggregated, else inner_
  fw::ComPtr<ITypeInfo> typeInfo_;  // loaded on first IDispatch use
};

// The class factory's creation function.
HRESULT CreateImageFileContextMenu(IUnknown* outer, REFIID iid, void** object);

// The decoder patterns (";"-separated, such as "*.BMP;*.DIB") matched against a path.
bool MatchesAnyPattern(const std::wstring& path, const std::wstring& patterns);

// Whether a file name matches an installed GDI+ decoder's patterns (GDI+ must be started).
bool MatchesInstalledDecoder(const std::wstring& path);

// Whether a file name matches an installed GDI+ decoder's patterns or the extensions of an
// installed WIC decoder (GDI+ and COM must be started).
bool MatchesAnyInstalledDecoder(const std::wstring& path);

// What a right-click needs of a picture, for both menus: its header, the screen's aspect
// and the picture's upright shape against it; no pixel is decoded. E_INVALIDARG for a file
// no decoder takes or whose header does not read, E_FAIL when the screen cannot be asked.
HRESULT ReadPictureForMenu(const std::wstring& path, PictureHeader* header, double* screenAspect,
                           PictureShape* shape);

}  // namespace framewise
