// The fixed identifiers of the classes, the handler's interface, the type library and the AppID.
#pragma once

#include <windows.h>

namespace framewise {

extern const CLSID CLSID_ImageFileContextMenu;   // {9E98A0EF-181B-4833-950B-95810A938222}
extern const IID IID_IImageFileContextMenu;      // {A7799CA2-F25B-4D21-990E-D07E416F0388}
extern const GUID LIBID_FramewiseLib;            // {63685362-1E83-4D50-AC29-EE4E7F96C829}
extern const GUID APPID_Framewise;               // {4613C8E4-E712-441C-BAC2-1372D7E8F939}
// The new context menu's command (Windows 11), registered by the app package's manifest.
extern const CLSID CLSID_FramewiseExplorerCommand;  // {54A4F436-8772-4DEE-8FAA-06A5FA17F027}

}  // namespace framewise
