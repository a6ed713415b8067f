#!/usr/bin/env python3
"""Mutation check of the test suites: does each suite notice a planted fault?

Each mutation below names a product file, a piece of its text, what that text becomes,
and the test program and filter that should fail with it. The script copies the source
tree to a scratch folder (never writing to the working tree), builds it there once, checks
that the filters pass on the unchanged copy, then applies the mutations one at a time:
rebuild (incremental), run the filter, put the file back. A mutation is "killed" when the
run fails (or hangs past the time limit) and "survived" when it passes. Mutations marked
equivalent change nothing a user or caller can see; they are listed with the reason and
skipped unless --run-equivalent is given.

Not part of CI: it takes about an hour on two cores. Usage:

  python3 scripts/mutation-check.py [-j 2] [--only NAME,...] [--list]

Needs what scripts/test.sh needs (mingw-w64, Wine, Xvfb, the project's Wine prefix in
build/wineprefix, made by scripts/wine-prefix.sh). Everything it makes lives under
build/mutation (sources, builds) and build/wineprefix-mutation (a copy of the prefix).
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from typing import List, Optional, Tuple

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

WINE = "wine"      # build/mutation/x86_64/wine_tests.exe under Wine
NATIVE = "native"  # build/mutation/native/native_tests


@dataclass
class Mutation:
    name: str
    file: str          # relative to the project root
    original: str      # must occur exactly once in the file
    replacement: str
    checks: List[Tuple[str, str]]  # (program, gtest filter); killed when any run fails
    dpi: Optional[int] = None      # run the Wine program with FRAMEWISE_DPI
    equivalent: Optional[str] = None  # why no test can tell it apart


def M(name, file, original, replacement, program, test_filter, **kw):
    return Mutation(name, file, original, replacement, [(program, test_filter)], **kw)


MUTATIONS = [
    # --- The menu: construction, placeholder, entry, failure paths (shellext/context_menu.cpp).
    M("placeholder-id", "shellext/context_menu.cpp",
      "    placeholder.wID = idCmdFirst;\n",
      "    placeholder.wID = idCmdFirst + 1;\n",
      WINE, "MenuTest.EntryIsInsertedWithFourteenIdentifiers"),
    M("entry-bitmap-at-position-0", "shellext/context_menu.cpp",
      "SetMenuItemBitmaps(menu, indexMenu, MF_BYPOSITION, bitmap, nullptr);",
      "SetMenuItemBitmaps(menu, 0, MF_BYPOSITION, bitmap, nullptr);",
      WINE, "MenuTest.EntryIsInsertedWithFourteenIdentifiers"),
    M("popup-leaked-when-insert-fails", "shellext/context_menu.cpp",
      "reinterpret_cast<UINT_PTR>(popup.get()), kMenuEntryText)) {",
      "reinterpret_cast<UINT_PTR>(popup.release()), kMenuEntryText)) {",
      WINE, "MenuTest.FailedInsertionsAddNothingAndLeakNoMenu"),
    M("narrow-range-accepted", "shellext/context_menu.cpp",
      "idCmdLast - idCmdFirst < kLastMenuOffset + 1",
      "idCmdLast - idCmdFirst < kLastMenuOffset",
      WINE, "MenuTest.EntryIsLeftOutWhenItCannotServe"),
    M("placeholder-check-ignores-id", "shellext/context_menu.cpp",
      "return (info.fType & MFT_SEPARATOR) != 0 && info.wID == static_cast<UINT>(firstCommandId);",
      "return (info.fType & MFT_SEPARATOR) != 0;",
      WINE, "MenuTest.SecondOpeningChangesNothing"),
    M("unreadable-rows-enabled", "shellext/context_menu.cpp",
      "row->preview, !(row->preview && unreadable))",
      "row->preview, true)",
      WINE, "MenuTest.PictureThatDoesNotDecodeSaysSoAndOffersNoFitting"),
    M("help-text-overruns-buffer", "shellext/context_menu.cpp",
      "lstrcpynW(reinterpret_cast<LPWSTR>(name), text.c_str(), static_cast<int>(cchMax));",
      "lstrcpynW(reinterpret_cast<LPWSTR>(name), text.c_str(), static_cast<int>(cchMax) + 1);",
      WINE, "MenuTest.HelpTexts"),
    M("about-command-removed", "shellext/menu_commands.cpp",
      "    case AboutCommand:\n      ShowAboutBox(owner);\n      return S_OK;\n",
      "",
      WINE, "MenuTest.AboutOpensModallyOverTheShellWindow"),

    # --- Fitting commands and the please-wait window.
    M("wait-cursor-dropped", "fitting/fitting_command.cpp",
      "    wait.emplace(LoadCursorW(nullptr, IDC_WAIT));\n    if (owner) UpdateWindow(owner);",
      "    if (owner) UpdateWindow(owner);",
      WINE, "CommandTest.PleaseWait*"),
    M("please-wait-hidden", "fitting/fitting_command.cpp",
      "      window->ShowWindow(SW_SHOW);",
      "      window->ShowWindow(SW_HIDE);",
      WINE, "CommandTest.PleaseWait*"),
    M("please-wait-not-painted", "fitting/fitting_command.cpp",
      "      window->ShowWindow(SW_SHOW);\n      window->UpdateWindow();\n",
      "      window->ShowWindow(SW_SHOW);\n",
      WINE, "CommandTest.PleaseWait*"),
    M("please-wait-template-219", "widgets/please_wait.cpp",
      "fw::CDialog(IDD_PLEASE_WAIT, parent)",
      "fw::CDialog(IDD_ABOUT, parent)",
      WINE, "CommandTest.PleaseWait*"),
    M("modeless-owner-is-the-given-window", "framework/dialog.cpp",
      "  if (!owner) owner = GetActiveWindow();",
      "  if (!owner) owner = parent_;",
      WINE, "CommandTest.PleaseWait*"),

    # --- Menu rows (shellext/portable/menu_table.cpp).
    M("best-fit-for-wide-pictures-only", "shellext/portable/menu_table.cpp",
      "Item(FitModeBestFit, IDS_BEST_FIT, IDS_HELP_BEST_FIT, kTaller | kWider, kPreview),",
      "Item(FitModeBestFit, IDS_BEST_FIT, IDS_HELP_BEST_FIT, kWider, kPreview),",
      NATIVE, "MenuRows.*"),
    M("separators-not-collapsed", "shellext/portable/menu_table.cpp",
      "      if (afterSeparator) continue;",
      "      if (afterSeparator && rows.empty()) continue;",
      NATIVE, "MenuRows.*"),
    M("update-row-always-shown", "shellext/portable/menu_table.cpp",
      "  if (row.needsUpdate && !updateKnown) return false;",
      "  if (row.needsUpdate && !updateKnown && row.shapes == 0) return false;",
      NATIVE, "MenuRows.*"),

    # --- The new context menu's command (shellext/explorer_command.cpp).
    M("new-menu-shown-in-classic-menu", "shellext/explorer_command.cpp",
      "SUCCEEDED(site_->QueryInterface(IID_IOleWindow, classic.put_void())) && classic) return S_OK;",
      "SUCCEEDED(site_->QueryInterface(IID_IOleWindow, classic.put_void())) && !classic) return S_OK;",
      WINE, "NewMenuTest.HiddenInTheClassicMenu"),
    M("new-menu-offers-cancel", "shellext/portable/menu_table.cpp",
      "    if (!row.classicOnly && ItemRowShown(row, shapes, updateKnown)) rows.push_back(&row);",
      "    if (ItemRowShown(row, shapes, updateKnown)) rows.push_back(&row);",
      WINE, "NewMenuTest.OffersTheClassicRowsForEachShapeWithoutCancel"),
    M("new-menu-icons-ignore-theme", "shellext/explorer_command.cpp",
      "  unsigned IconId() const { return CommandIconId(row_->offset, fw::AppsUseDarkTheme()); }",
      "  unsigned IconId() const { return CommandIconId(row_->offset, false); }",
      WINE, "NewMenuTest.IconsShowEachModeInTheUsersTheme"),
    M("new-menu-takes-several-files", "shellext/explorer_command.cpp",
      "FAILED(items->GetCount(&count)) || count != 1) return false;",
      "FAILED(items->GetCount(&count)) || count == 0) return false;",
      WINE, "NewMenuTest.HiddenForEverythingButOnePicture"),
    M("new-menu-invokes-cached-picture", "shellext/explorer_command.cpp",
      "    if (!read_ || selected != path_) {",
      "    if (!read_) {",
      WINE, "NewMenuTest.InvokeFollowsTheArrayItIsGiven"),
    M("command-line-ignores-shape", "shellext/command_line.cpp",
      "  if (!row || !ItemRowShown(*row, shape, false)) {",
      "  if (!row) {",
      WINE, "CommandLineTest.FailuresWriteNothingAndSayWhy"),

    # --- Drawing (shellext/menu_drawing.cpp).
    M("plain-background-window-colour", "shellext/menu_look.cpp",
      "FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU))",
      "FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW))",
      WINE, "MenuDrawingTest.SystemColours*"),
    M("text-colours-swapped", "shellext/menu_look.cpp",
      ": selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);",
      ": selected ? COLOR_MENUTEXT : COLOR_HIGHLIGHTTEXT);",
      WINE, "MenuDrawingTest.SystemColours*"),
    M("greyed-text-window-text", "shellext/menu_look.cpp",
      "*textColour = GetSysColor(!enabled ? COLOR_GRAYTEXT",
      "*textColour = GetSysColor(!enabled ? COLOR_WINDOWTEXT",
      WINE, "MenuDrawingTest.SystemColours*"),
    M("selected-form-never-used", "shellext/menu_drawing.cpp",
      "item->painted[(selected ? 1 : 0) + (hideKey ? 2 : 0)];",
      "item->painted[hideKey ? 2 : 0];",
      WINE, "MenuDrawingTest.SystemColours*"),
    M("dpi-scale-inverted", "shellext/menu_drawing.cpp",
      "  scale.x = surfaceX / imageX;\n  scale.y = surfaceY / imageY;",
      "  scale.x = imageX / surfaceX;\n  scale.y = imageY / surfaceY;",
      WINE, "MenuDrawingTest.PreviewColumnFollowsTheCopysResolution"),
    M("text-not-centred", "shellext/menu_drawing.cpp",
      "DT_LEFT | DT_VCENTER | DT_SINGLELINE | (hideKey ? DT_HIDEPREFIX : 0)",
      "DT_LEFT | DT_SINGLELINE | (hideKey ? DT_HIDEPREFIX : 0)",
      WINE, "MenuDrawingTest.TextIsCentred*"),
    M("row-height-five-quarters-inch", "shellext/menu_drawing.cpp",
      "previewRowHeight = 1.5f * dpiY;",
      "previewRowHeight = 1.25f * dpiY;",
      WINE, "MenuDrawingTest.WorkedSizesAt96Dpi"),
    M("preview-right-edge-moved", "shellext/menu_drawing.cpp",
      "RenderPicture(screenDc.get(), item.image.get(), imageColumnWidth + kImageGap, item.height);",
      "RenderPicture(screenDc.get(), item.image.get(), imageColumnWidth + kImageGap - 2, item.height);",
      WINE, "MenuDrawingTest.PreviewIsRightAlignedAndFramed"),
    M("preview-not-centred-vertically", "shellext/menu_drawing.cpp",
      "(static_cast<float>(rows) - drawnHeight) / 2.0f",
      "(static_cast<float>(rows) - drawnHeight) / 4.0f",
      WINE, "MenuDrawingTest.PreviewIsRightAlignedAndFramed"),
    M("item-height-margin", "shellext/menu_drawing.cpp",
      "(textHeight > imagePixels ? textHeight : imagePixels) + kRowPadding;",
      "(textHeight > imagePixels ? textHeight : imagePixels) + kRowPadding - 2;",
      WINE, "MenuDrawingTest.WorkedSizesAt96Dpi"),
    M("other-controls-measured", "shellext/menu_drawing.cpp",
      "if (controlType != ODT_MENU || firstCommandId < 0) return nullptr;",
      "if ((controlType != ODT_MENU && controlType != ODT_BUTTON) || firstCommandId < 0) return nullptr;",
      WINE, "MenuDrawingTest.MessagesNotForItsItemsTouchNothing"),

    # --- The menu's look, keys and screen-reader text (shellext/menu_look.cpp,
    # menu_drawing.cpp, context_menu.cpp, portable/access_keys.cpp).
    M("dark-class-text-not-checked", "shellext/menu_look.cpp",
      "MPI_NORMAL, TMT_TEXTCOLOR, &text)) &&\n          IsLight(text)) {",
      "MPI_NORMAL, TMT_TEXTCOLOR, &text)) &&\n          (IsLight(text) || true)) {",
      WINE, "MenuLookTest.Colours*"),
    M("high-contrast-keeps-the-style", "shellext/menu_look.cpp",
      "  if (look.highContrast_) return look;",
      "  if (look.highContrast_ && false) return look;",
      WINE, "MenuLookTest.Colours*"),
    M("font-not-for-the-monitor", "shellext/menu_look.cpp",
      "forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)",
      "forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, systemDpi)",
      WINE, "MenuLookTest.MenuFont*"),
    M("underline-always-ignored", "shellext/menu_drawing.cpp",
      "(draw->itemState & ODS_NOACCEL) != 0 && !menuLook.alwaysUnderline();",
      "(draw->itemState & ODS_NOACCEL) != 0;",
      WINE, "MenuLookTest.AccessKey*"),
    M("monitor-scale-ignored", "shellext/menu_drawing.cpp",
      "const float monitorScale = static_cast<float>(menuLook.dpi()) / dpiY;",
      "const float monitorScale = 1.0f;",
      WINE, "MenuKeyboardTest.Measured*"),
    M("menu-char-for-any-menu", "shellext/menu_drawing.cpp",
      "if (!menu || menu != submenu || menuItems.empty()) {",
      "if (!menu || menuItems.empty()) {",
      WINE, "MenuKeyboardTest.MenuChar*"),
    M("greyed-key-chooses", "shellext/menu_drawing.cpp",
      "if (item->enabled && (info.fState & MFS_DISABLED) == 0) {",
      "if (true) {",
      WINE, "MenuKeyboardTest.MenuChar*"),
    M("no-screen-reader-signature", "shellext/context_menu.cpp",
      "item.accessible.dwMSAASignature = MSAA_MENU_SIG;",
      "item.accessible.dwMSAASignature = 0;",
      WINE, "MenuKeyboardTest.EveryItem*"),
    M("ampersand-not-doubled", "shellext/portable/access_keys.cpp",
      "    if (text[i] == L'&') out += L'&';\n",
      "",
      NATIVE, "AccessKeys.*"),
    M("shared-words-preferred", "shellext/portable/access_keys.cpp",
      "if (!sharedWord(item, w.folded)) candidates.push_back(w.start);",
      "if (sharedWord(item, w.folded)) candidates.push_back(w.start);",
      NATIVE, "AccessKeys.*"),
    M("temporary-file-not-marked-moved", "fitting/wallpaper_output.cpp",
      "  written.Moved();\n",
      "",
      WINE, "PhotoTest.*:CommandTest.*",
      equivalent="after MoveFileExW the temporary name no longer exists: the owner's "
                 "DeleteFileW then finds nothing to remove"),

    # --- Intake (shellext/image_file_context_menu.cpp).
    M("preview-height-one-and-a-half-dpi", "shellext/image_file_context_menu.cpp",
      "return 2.0f * static_cast<float>(GetDeviceCaps(screen.get(), LOGPIXELSY));",
      "return 1.5f * static_cast<float>(GetDeviceCaps(screen.get(), LOGPIXELSY));",
      WINE, "IntakeTest.PreviewWaitsForTheSubmenuAndIsTwiceTheDpiHigh"),
    M("gdiplus-token-dropped-unshut", "shellext/image_file_context_menu.cpp",
      "  gdiplus.reset();  // after every GDI+ object of the handler is gone",
      "  gdiplus.release();  // after every GDI+ object of the handler is gone",
      WINE, "IntakeTest.GdiplusStartsAndShutsDownInPairsOverAHandlersLife"),
    M("menu-records-kept-on-reset", "shellext/image_file_context_menu.cpp",
      "  menuItems.clear();\n  gdiplus.reset();",
      "  gdiplus.reset();",
      WINE, "IntakeTest.SecondInitializeStartsAfresh"),
    M("several-files-read", "shellext/image_file_context_menu.cpp",
      "    if (fileCount != 1) return S_OK;\n",
      "",
      WINE, "IntakeTest.SeveralFilesReadNoFile"),
    M("shape-arguments-swapped", "shellext/image_file_context_menu.cpp",
      "  *shape = ClassifyPicture(aspect, *screenAspect);",
      "  *shape = ClassifyPicture(static_cast<float>(*screenAspect), aspect);",
      WINE, "IntakeTest.ShapesAgainstWorkAreas"),

    # --- Fitting arithmetic (fitting/portable/).
    M("middle-crop-at-the-right", "fitting/portable/geometry.cpp",
      "      crop.x = HalfUnsigned(pictureWidth, crop.cw);",
      "      crop.x = UnsignedDifference(pictureWidth, crop.cw);",
      NATIVE, "ComputeCrop.*"),
    M("crop-height-from-height", "fitting/portable/geometry.cpp",
      "    crop.ch = TruncateToInt32(w / s);",
      "    crop.ch = TruncateToInt32(h / s);",
      NATIVE, "ComputeCrop.*"),
    M("shape-tolerance-five-hundredths", "fitting/portable/geometry.cpp",
      "< 0.01) return MatchesScreen;",
      "< 0.05) return MatchesScreen;",
      NATIVE, "Classify.*"),
    M("best-fit-not-centred-vertically", "fitting/portable/geometry.cpp",
      "    placement.y += HalfUnsigned(static_cast<uint32_t>(work.height), height);\n",
      "",
      NATIVE, "ComputePlacement.*"),
    M("taskbar-left-shift-sign", "fitting/portable/geometry.cpp",
      "      crop.x = TruncateToInt32(static_cast<double>(crop.x) - extraWidth);",
      "      crop.x = TruncateToInt32(static_cast<double>(crop.x) + extraWidth);",
      NATIVE, "ComputeCrop.*:ClipCrop.*"),
    M("six-and-a-half-inch-limit", "fitting/portable/geometry.cpp",
      "  const double limit = 6.0 * dpiX;",
      "  const double limit = 6.5 * dpiX;",
      NATIVE, "LimitPreviewSize.*"),
    M("resampler-edge-not-clamped", "fitting/portable/resample.cpp",
      "    if (filterScale == 1.0) centre = std::min(std::max(centre, 0.5), last + 0.5);\n",
      "",
      NATIVE, "Resample.*"),
    M("resampler-outside-weights-dropped", "fitting/portable/resample.cpp",
      "    if (lo < 0.0) raw.front() += KernelSum(lo, -lo, centre, filterScale);\n",
      "",
      NATIVE, "Resample.*"),
    M("portrait-monitor-keeps-left", "fitting/portable/monitor_fit.cpp",
      "      return shapeOnMonitor == TallerThanScreen ? mode : FitModeMiddle;",
      "      return shapeOnMonitor == WiderThanScreen ? mode : FitModeMiddle;",
      NATIVE, "MonitorFitMode.*"),

    # --- Orientation turns (fitting/imaging.cpp).
    M("orientation-6-turned-the-wrong-way", "fitting/imaging.cpp",
      "    case 6: turn = Gdiplus::Rotate90FlipNone; break;",
      "    case 6: turn = Gdiplus::Rotate270FlipNone; break;",
      WINE, "PhotoTest.EveryOrientationComesOutUpright"),
    M("orientation-5-not-mirrored", "fitting/imaging.cpp",
      "    case 5: turn = Gdiplus::Rotate90FlipNone; mirror = true; break;",
      "    case 5: turn = Gdiplus::Rotate90FlipNone; mirror = false; break;",
      WINE, "PhotoTest.EveryOrientationComesOutUpright"),
    M("mirror-about-the-wrong-axis", "fitting/imaging.cpp",
      "Ok(gp::GdipImageRotateFlip(picture, Gdiplus::RotateNoneFlipX));",
      "Ok(gp::GdipImageRotateFlip(picture, Gdiplus::RotateNoneFlipY));",
      WINE, "PhotoTest.EveryOrientationComesOutUpright"),

    # --- The wallpaper file and its safe replace (fitting/wallpaper_output.cpp).
    M("replace-without-replace-flag", "fitting/wallpaper_output.cpp",
      "                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {",
      "                   MOVEFILE_WRITE_THROUGH)) {",
      WINE, "CommandTest.StoredNamesAndOnlyTheLatestChoice"),
    M("saved-over-the-old-wallpaper", "fitting/wallpaper_output.cpp",
      "if (gp::GdipSaveImageToFile(wallpaper, written.path(), &jpeg, &parameters) != Gdiplus::Ok) {",
      "if (gp::GdipSaveImageToFile(wallpaper, (std::wstring(folder) + L\"\\\\\" + fileName).c_str(), "
      "&jpeg, &parameters) != Gdiplus::Ok) {",
      WINE, "PhotoTest.SavedAtQuality95BesideTheOldFileThenMoved"),
    M("temporary-file-left-behind", "fitting/wallpaper_output.cpp",
      "    if (!path_.empty()) DeleteFileW(path_.c_str());\n",
      "",
      WINE, "PhotoTest.FailedSaveOrMoveKeepsTheOldWallpaperAndLeavesNoFile"),
    M("jpeg-quality-75", "fitting/wallpaper_output.cpp",
      "constexpr ULONG kJpegQuality = 95;",
      "constexpr ULONG kJpegQuality = 75;",
      WINE, "PhotoTest.SavedAtQuality95BesideTheOldFileThenMoved"),
    M("wallpaper-stretched", "fitting/wallpaper_output.cpp",
      "    options.dwStyle = WPSTYLE_CENTER;",
      "    options.dwStyle = WPSTYLE_STRETCH;",
      WINE, "CommandTest.FittingMakesTheWallpaperAndRemembersIt"),
    M("choice-remembered-before-apply-succeeds", "fitting/wallpaper_output.cpp",
      "  if (FAILED(hr)) return false;\n  RememberChoice(owner, picturePath, mode);\n  return true;",
      "  RememberChoice(owner, picturePath, mode);\n  if (FAILED(hr)) return false;\n  return true;",
      WINE, "CommandTest.ActiveDesktopFailuresStopTheRestAndRememberNothing"),
    M("choice-stored-under-another-key", "fitting/wallpaper_output.cpp",
      "WriteSetting(settings, kDesktopSection, kWhichPartKey, FitModeName(mode));",
      "WriteSetting(settings, kDesktopSection, kPhotoKey, FitModeName(mode));",
      WINE, "CommandTest.FittingMakesTheWallpaperAndRemembersIt"),

    # --- Settings writes (settings/).
    M("multi-line-value-written", "settings/settings_file.cpp",
      "SingleLineValue(value).c_str()",
      "value.c_str()",
      WINE, "SettingsFileTest.StoreNewestVersionWritesTextAndTypeName"),
    M("scopes-swapped", "settings/settings_file.cpp",
      "(scope == SettingsScope::AllUsers ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA)",
      "(scope == SettingsScope::AllUsers ? CSIDL_LOCAL_APPDATA : CSIDL_COMMON_APPDATA)",
      WINE, "SettingsFileTest.BothScopesLieInTheirFoldersUnderTheSameNames"),
    M("failed-lookup-kept", "settings/settings_file.cpp",
      "  if (FAILED(hr)) slot.folder[0] = L'\\0';",
      "  if (FAILED(hr) && slot.folder[0] == L'\\0') slot.folder[0] = L'\\0';",
      WINE, "SettingsPaths.FailedLookupIsTriedAgain"),
    M("path-length-check-loose", "settings/settings_file.cpp",
      "folderLength + 1 + nameLength + 1 > MAX_PATH",
      "folderLength + nameLength > MAX_PATH",
      WINE, "SettingsPaths.FolderTooLongForTheFileNameLeavesThePathEmpty"),
    M("date-with-dashes", "settings/portable/settings_values.cpp",
      "std::to_wstring(year) + L'/' + std::to_wstring(month)",
      "std::to_wstring(year) + L'-' + std::to_wstring(month)",
      WINE, "SettingsFileTest.LastCheckedIsWrittenWithoutLeadingZeros"),
    M("new-beta-reported-as-update", "settings/portable/update_status.cpp",
      "      return UpdateStatus::NewBeta;",
      "      return UpdateStatus::UpdateAvailable;",
      NATIVE, "UpdateStatus.*"),
    M("display-version-keeps-zero-build", "settings/portable/version_text.cpp",
      "version.build != 0 ? 3 : 2;",
      "version.build != 0 ? 3 : 3;",
      NATIVE, "VersionFormat.*"),

    # --- Dialog framework and widgets (framework/, widgets/).
    M("check-box-value-not-clamped", "framework/dialog.cpp",
      "  if (value < 0 || value > 2) value = 0;\n",
      "",
      WINE, "AboutBoxTest.OkStoresTheCheckBoxAndCancelDoesNot"),
    M("link-never-shows-visited", "widgets/hyperlink.cpp",
      "isHovering_ ? kHoverColour : isVisited_ ? kVisitedColour : kLinkColour",
      "isHovering_ ? kHoverColour : kLinkColour",
      WINE, "HyperLinkTest.ColoursFollowHoverVisitAndAFailedOpen"),
    M("failed-open-counted-as-visited", "widgets/hyperlink.cpp",
      "  isVisited_ = result > 32;",
      "  isVisited_ = result > 0;",
      WINE, "HyperLinkTest.ColoursFollowHoverVisitAndAFailedOpen"),
    M("right-aligned-link-grows-right", "widgets/hyperlink.cpp",
      "    r.left = r.right - extent.cx;",
      "    r.right = r.left + extent.cx;",
      WINE, "HyperLinkTest.FitsToTextKeepingItsAlignment"),

    # --- The COM server: interfaces, aggregation, class object and unloading (shellext/).
    M("context-menu-2-not-answered", "shellext/image_file_context_menu.cpp",
      "} else if (IsEqualIID(iid, IID_IContextMenu) || IsEqualIID(iid, IID_IContextMenu2) ||",
      "} else if (IsEqualIID(iid, IID_IContextMenu) ||",
      WINE, "ComServerTest.HandlerAnswersItsInterfacesWithOneIdentity"),
    M("aggregated-for-any-interface", "shellext/image_file_context_menu.cpp",
      "  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;\n",
      "",
      WINE, "ComServerTest.AggregationDelegatesToTheOuterObject",
      equivalent="the class factory, the DLL's only way to the creation function, refuses "
                 "the same request before calling it"),
    M("lock-server-ignored", "shellext/module.cpp",
      "    if (lock) {\n      Module().Lock();\n    } else {",
      "    if (lock) {\n    } else {",
      WINE, "ComServerTest.UnloadOnlyWhenNothingIsHeld"),
    M("unload-allowed-with-one-lock", "shellext/module.cpp",
      "return Module().GetLockCount() == 0 ? S_OK : S_FALSE;",
      "return Module().GetLockCount() <= 1 ? S_OK : S_FALSE;",
      WINE, "ComServerTest.UnloadOnlyWhenNothingIsHeld"),

    # --- Several monitors and the reduced decode (fitting/).
    M("one-monitor-taken-as-several", "fitting/monitor_wallpapers.cpp",
      "return monitors_.size() >= 2 && primaries == 1;",
      "return monitors_.size() >= 1 && primaries == 1;",
      WINE, "CommandTest.OneAttachedMonitorKeepsTheOneFilePath"),
    M("monitors-stretched", "fitting/monitor_wallpapers.cpp",
      "if (FAILED(desktop_->SetPosition(DWPOS_CENTER))) return false;",
      "if (FAILED(desktop_->SetPosition(DWPOS_STRETCH))) return false;",
      WINE, "MonitorsTest.EveryMonitorGetsItsOwnCut"),
    M("reduced-decode-smaller-than-asked", "fitting/preview_source.cpp",
      "if (FAILED(transform->GetClosestSize(&w, &h)) || w < width || h < height) return false;",
      "if (FAILED(transform->GetClosestSize(&w, &h))) return false;",
      WINE, "ReducedDecode.*"),

    # --- Registration (shellext/).
    M("module-path-not-quoted", "shellext/registration.cpp",
      '{L"MODULE", DoubleSingleQuotes(modulePath)},',
      '{L"MODULE", modulePath},',
      WINE, "RegistrationTest.ModulePathWithASingleQuoteIsRegisteredUnchangedForMachineAndUser"),
    M("backslash-in-key-name-accepted", "shellext/portable/registry_script.cpp",
      "    if (node->name.find(L'\\\\') != std::wstring::npos) {",
      "    if (node->name.find(L'\\\\') == 0) {",
      NATIVE, "RegistryScriptTest.*"),
]


def log(text):
    print(text, flush=True)


def run(command, cwd=None, env=None, timeout=None):
    """Runs a command; returns (exit code, output). A time-out gives code None. The output
    goes through a file, not a pipe: Wine's helper processes may keep a pipe open."""
    with tempfile.TemporaryFile() as out:
        try:
            code = subprocess.run(command, cwd=cwd, env=env, timeout=timeout, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=subprocess.STDOUT).returncode
        except subprocess.TimeoutExpired:
            code = None
        out.seek(0)
        return code, out.read().decode("utf-8", "replace")


class Workspace:
    def __init__(self, args):
        self.args = args
        self.root = os.path.abspath(args.work)
        self.src = os.path.join(self.root, "src")
        self.wine_build = os.path.join(self.root, "x86_64")
        self.native_build = os.path.join(self.root, "native")
        # The tests' working folder: a mutation that loses a path may write a file relative
        # to it, and that must not land in the working tree.
        self.run_dir = os.path.join(self.root, "run")
        self.prefix = os.path.abspath(args.prefix)
        self.display = args.display
        self.xvfb = None

    # The scratch copy: the working tree as it is now, without builds or history. Only files
    # whose content differs are written, so the next run rebuilds just what changed.
    def sync(self):
        wanted = set()
        for folder, dirs, files in os.walk(HERE):
            relative = os.path.relpath(folder, HERE)
            if relative == ".":
                dirs[:] = [d for d in dirs if d not in ("build", ".git", "out")]
            for name in files:
                path = os.path.normpath(os.path.join(relative, name))
                wanted.add(path)
                source, target = os.path.join(HERE, path), os.path.join(self.src, path)
                with open(source, "rb") as f:
                    content = f.read()
                if os.path.exists(target):
                    with open(target, "rb") as f:
                        if f.read() == content:
                            continue  # unchanged: its objects stay valid
                # A new time stamp: whatever was built from the old content is rebuilt.
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(content)
                shutil.copymode(source, target)
        for folder, _, files in os.walk(self.src):
            for name in files:
                path = os.path.relpath(os.path.join(folder, name), self.src)
                if path not in wanted:
                    os.remove(os.path.join(self.src, path))

    def configure(self):
        if not os.path.exists(os.path.join(self.wine_build, "CMakeCache.txt")):
            code, out = run(["cmake", "-S", self.src, "-B", self.wine_build,
                             "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(self.src, "cmake/toolchain-x86_64.cmake"),
                             "-DCMAKE_BUILD_TYPE=Release"])
            if code != 0:
                sys.exit("configuring the Wine build failed:\n" + out)
        if not os.path.exists(os.path.join(self.native_build, "CMakeCache.txt")):
            code, out = run(["cmake", "-S", self.src, "-B", self.native_build, "-DCMAKE_BUILD_TYPE=Debug"])
            if code != 0:
                sys.exit("configuring the native build failed:\n" + out)

    def build(self, program):
        directory, target = ((self.wine_build, "wine_tests") if program == WINE
                             else (self.native_build, "native_tests"))
        return run(["cmake", "--build", directory, "-j", str(self.args.jobs), "--target", target])

    def start_session(self):
        if not os.path.isdir(self.prefix):
            source = os.path.join(HERE, "build", "wineprefix")
            if not os.path.isdir(source):
                sys.exit("no Wine prefix: run scripts/wine-prefix.sh build/wineprefix first")
            log(f"copying {source} to {self.prefix}")
            shutil.copytree(source, self.prefix, symlinks=True)
        if run(["xdpyinfo", "-display", self.display])[0] != 0:
            self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(50):
                if os.path.exists("/tmp/.X11-unix/X" + self.display.lstrip(":")):
                    break
                time.sleep(0.1)
        # A persistent wineserver and a booted prefix; their helper processes would hold an
        # output pipe open, so they get none.
        env = self.wine_env()
        for command in (["/usr/lib/wine/wineserver", "-p", "60"], ["/usr/lib/wine/wine64", "wineboot"]):
            subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)
        inputs = os.path.join(self.wine_build, "inputs")
        code, out = run(["/usr/bin/python3", os.path.join(self.src, "scripts/make_inputs.py"), inputs])
        if code != 0:
            sys.exit("making the test pictures failed:\n" + out)

    def stop_session(self):
        for prefix in (self.prefix, self.prefix + "-dpi120"):
            if os.path.isdir(prefix):
                env = dict(self.wine_env(), WINEPREFIX=prefix)
                subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()

    def wine_env(self, dpi=None):
        env = dict(os.environ, WINEPREFIX=self.prefix, DISPLAY=self.display, WINEDEBUG="-all",
                   WINELOADER="/usr/lib/wine/wine64",
                   FRAMEWISE_DLL=os.path.join(self.wine_build, "Framewise.dll"),
                   FRAMEWISE_INPUTS=os.path.join(self.wine_build, "inputs"))
        env.pop("FRAMEWISE_DPI", None)
        if dpi:
            env["FRAMEWISE_DPI"] = str(dpi)
        return env

    def clear_data_folders(self):
        """Removes what earlier runs left in the prefixes' data folders (a mutation may leave
        temporary files or settings that the next run would trip over)."""
        for prefix in (self.prefix, self.prefix + "-dpi120"):
            for folder in glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Local",
                                                 "Wrenfly Framewise")) + \
                    [os.path.join(prefix, "drive_c", "ProgramData", "Wrenfly Framewise")]:
                shutil.rmtree(folder, ignore_errors=True)

    def run_check(self, program, test_filter, dpi=None, extra=()):
        """True when the suite passes with this filter (and any extra arguments)."""
        shutil.rmtree(self.run_dir, ignore_errors=True)
        os.makedirs(self.run_dir)
        if program == WINE:
            self.clear_data_folders()
            # Behind the same watch as CTest's runs: a mutant that makes the suite hang is
            # ended after two quiet minutes, not at the whole run's time-out.
            command = [sys.executable, os.path.join(self.src, "scripts/quiet-watch.py"),
                       os.path.join(self.src, "scripts/wine-exec.sh"),
                       os.path.join(self.wine_build, "wine_tests.exe"), "--gtest_filter=" + test_filter, *extra]
            code, out = run(command, cwd=self.run_dir, env=self.wine_env(dpi), timeout=self.args.timeout)
        else:
            command = [os.path.join(self.native_build, "native_tests"), "--gtest_filter=" + test_filter, *extra]
            # The native suite takes seconds: a mutant that loops or eats memory is ended in
            # two minutes or at 4 GiB, not after the whole time-out with the machine swapping.
            env = dict(os.environ)
            env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "hard_rss_limit_mb=4096"]))
            code, out = run(command, cwd=self.run_dir, env=env, timeout=min(self.args.timeout, 120))
        self.last_output = out
        if self.args.verbose:
            sys.stdout.write(out)
        if code == 0 and "[==========] 0 tests" in out:
            log(f"  warning: filter {test_filter} ran no test")
            return False
        return code == 0


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def verify(mutations, root):
    """Each original must occur exactly once in its file; returns the problems."""
    problems = []
    for m in mutations:
        path = os.path.join(root, m.file)
        if not os.path.exists(path):
            problems.append(f"{m.name}: {m.file} does not exist")
            continue
        count = read(path).count(m.original)
        if count != 1:
            problems.append(f"{m.name}: the original text occurs {count} times in {m.file}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-j", "--jobs", type=int, default=2)
    parser.add_argument("--only", help="comma-separated mutation names")
    parser.add_argument("--list", action="store_true", help="list the mutations and stop")
    parser.add_argument("--verify", action="store_true",
                        help="only check that every original text is found once")
    parser.add_argument("--run-equivalent", action="store_true", help="run the equivalent mutations too")
    parser.add_argument("--skip-baseline", action="store_true")
    parser.add_argument("--work", default=os.path.join(HERE, "build", "mutation"))
    parser.add_argument("--prefix", default=os.path.join(HERE, "build", "wineprefix-mutation"))
    parser.add_argument("--display", default=":98")
    parser.add_argument("--timeout", type=int, default=900, help="seconds per test run")
    parser.add_argument("-v", "--verbose", action="store_true")
    args = parser.parse_args()

    chosen = MUTATIONS
    if args.only:
        names = set(args.only.split(","))
        chosen = [m for m in MUTATIONS if m.name in names]
        unknown = names - {m.name for m in chosen}
        if unknown:
            sys.exit("unknown mutations: " + ", ".join(sorted(unknown)))
    if args.list:
        for m in chosen:
            checks = "; ".join(f"{p}: {f}" for p, f in m.checks)
            log(f"{m.name:44} {m.file:40} {checks}" + (" [equivalent]" if m.equivalent else ""))
        return 0
    problems = verify(chosen, HERE)
    if problems or args.verify:
        for p in problems:
            log(p)
        log(f"{len(chosen) - len(problems)} of {len(chosen)} mutations apply")
        return 1 if problems else 0

    to_run = [m for m in chosen if args.run_equivalent or not m.equivalent]
    programs = {p for m in to_run for p, _ in m.checks}
    ws = Workspace(args)
    ws.sync()
    ws.configure()
    for program in sorted(programs):
        log(f"building {program} (unchanged sources)")
        code, out = ws.build(program)
        if code != 0:
            sys.exit(f"the unchanged {program} build fails:\n{out[-4000:]}")
    results = []
    try:
        if WINE in programs:
            ws.start_session()
        if not args.skip_baseline:
            # Every filter must pass on the unchanged sources, or its "killed" means nothing.
            seen = set()
            for m in to_run:
                for program, test_filter in m.checks:
                    key = (program, test_filter, m.dpi)
                    if key in seen:
                        continue
                    seen.add(key)
                    if not ws.run_check(program, test_filter, m.dpi):
                        sys.exit(f"baseline fails: {program} {test_filter} (dpi {m.dpi or 96})")
            log(f"baseline: {len(seen)} filters pass on the unchanged sources")

        started = time.time()
        for index, m in enumerate(to_run, 1):
            path = os.path.join(ws.src, m.file)
            original = read(path)
            if original.count(m.original) != 1:
                results.append((m, "not applied"))
                log(f"[{index}/{len(to_run)}] not applied  {m.name} (text not found once)")
                continue
            write(path, original.replace(m.original, m.replacement))
            try:
                outcome = "survived"
                for program in sorted({p for p, _ in m.checks}):
                    code, out = ws.build(program)
                    if code != 0:
                        outcome = "build failed"
                        if args.verbose:
                            sys.stdout.write(out[-3000:])
                        break
                if outcome == "survived":
                    for program, test_filter in m.checks:
                        if not ws.run_check(program, test_filter, m.dpi):
                            outcome = "killed"
                            break
            finally:
                write(path, original)
            results.append((m, outcome))
            minutes = (time.time() - started) / 60
            log(f"[{index}/{len(to_run)}] {outcome:12} {m.name}  ({minutes:.1f} min)")
    finally:
        # The last file put back is rebuilt now, so the scratch binaries match the sources.
        for program in sorted(programs):
            ws.build(program)
        ws.stop_session()

    killed = [m for m, r in results if r == "killed"]
    survived = [m for m, r in results if r == "survived"]
    other = [(m, r) for m, r in results if r not in ("killed", "survived")]
    log("")
    for m in survived:
        log(f"SURVIVED  {m.name}: {m.file}; expected {'; '.join(f for _, f in m.checks)} to fail")
    for m, r in other:
        log(f"{r.upper():9} {m.name}")
    for m in chosen:
        if m.equivalent and not args.run_equivalent:
            log(f"equivalent {m.name}: {m.equivalent}")
    scored = len(killed) + len(survived)
    if scored:
        log(f"score: {len(killed)} of {scored} killed ({100.0 * len(killed) / scored:.0f}%)")
    return 0 if not survived and not other else 1


if __name__ == "__main__":
    sys.exit(main())
