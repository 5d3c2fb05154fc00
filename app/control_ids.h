// The names older windows use for the language library's numbers
// (lang/resource_ids.h holds every number once). New code uses those names.
#pragma once

#include "lang/resource_ids.h"

namespace app {

inline constexpr int kIdConvertBmp = IDS_CONVERT_BMP;
inline constexpr int kIdConvertPng = IDS_CONVERT_PNG;
inline constexpr int kIdConvertJpeg = IDS_CONVERT_JPEG;
inline constexpr int kIdConvertGif = IDS_CONVERT_GIF;
inline constexpr int kIdConvertJpegCopy = IDS_CONVERT_JPEG_COPY;
inline constexpr int kIdResizeSwitch = IDS_CONVERT_RESIZE;
inline constexpr int kIdOpenSettings = IDS_CONVERT_SETTINGS;

inline constexpr int kIdProgressCount = IDC_PROGRESS_COUNT;
inline constexpr int kIdProgressFile = IDC_PROGRESS_FILE;
inline constexpr int kIdProgressBar = IDC_PROGRESS_BAR;
inline constexpr int kIdProgressFailures = IDC_PROGRESS_FAILURES;

}  // namespace app
