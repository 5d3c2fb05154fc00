// Identifiers shared by the windows, the language library and the tests. A
// control's caption is the language string whose number equals its id.
#pragma once

namespace app {

// Convert window.
inline constexpr int kIdConvertBmp = 1000;
inline constexpr int kIdConvertPng = 1001;
inline constexpr int kIdConvertJpeg = 1002;
inline constexpr int kIdConvertGif = 1003;
inline constexpr int kIdConvertJpegCopy = 1004;
inline constexpr int kIdResizeSwitch = 1005;
inline constexpr int kIdOpenSettings = 1006;

// Settings window controls the shell itself refers to.
inline constexpr int kIdStartModeList = 1011;
inline constexpr int kIdSettingsResizeSwitch = 1041;
inline constexpr int kIdSettingsConfirm = 1091;

// The settings window's system-menu items.
inline constexpr int kIdAlwaysOnTop = 5000;
inline constexpr int kIdAlwaysOnTopSeparator = 6000;

// Progress window of a running batch (captions come from strings 22000 on).
inline constexpr int kIdProgressCount = 2201;
inline constexpr int kIdProgressFile = 2202;
inline constexpr int kIdProgressBar = 2203;
inline constexpr int kIdProgressFailures = 2204;
// Its button: IDCANCEL while the batch runs, IDOK (Close) under the list of
// failed files.

// Language strings without a control.
inline constexpr int kStringFontFace = 20000;
inline constexpr int kStringErrorTitle = 30000;

}  // namespace app
