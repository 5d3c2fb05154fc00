// Resource numbers of a language library (English.dll, Japanese.dll).
//
// Plain #defines so that both the resource compiler and C++ read this file.
// A control's caption is the string whose number equals the control's id,
// except in the two dialog templates, whose captions live in the template.
#ifndef MORAVEL_LANG_RESOURCE_IDS_H
#define MORAVEL_LANG_RESOURCE_IDS_H

// RT_RCDATA 1: the six bytes "Pirex\0" that mark a language library.
#define IDR_LANGUAGE_MARKER 1

// Convert window: format buttons, resize switch, settings button.
#define IDS_CONVERT_BMP 1000
#define IDS_CONVERT_PNG 1001
#define IDS_CONVERT_JPEG 1002
#define IDS_CONVERT_GIF 1003
#define IDS_CONVERT_JPEG_COPY 1004
#define IDS_CONVERT_RESIZE 1005
#define IDS_CONVERT_SETTINGS 1006

// Settings window.
#define IDS_START_MODE_LABEL 1010
#define IDS_JPEG_GROUP 1020
#define IDS_JPEG_QUALITY 1021
#define IDS_JPEG_SUBSAMPLING 1024
#define IDS_JPEG_SIZE_LIMIT 1027
#define IDS_RESIZE_GROUP 1040
#define IDS_RESIZE_SWITCH 1041
#define IDS_RESIZE_BY_WIDTH 1042
#define IDS_RESIZE_BY_HEIGHT 1043
#define IDS_RESIZE_BY_LONGER_SIDE 1044
#define IDS_RESIZE_UNIT 1046
#define IDS_OUTPUT_GROUP 1050
#define IDS_OUTPUT_CHOOSE_FOLDER 1051
#define IDS_OUTPUT_CLEAR_FOLDER 1052
#define IDS_OUTPUT_NO_FOLDER 1053
#define IDS_OUTPUT_SUB_FOLDER 1054
#define IDS_SEND_TO_SHORTCUT 1060
#define IDS_TRANSPARENCY_GROUP 1070
#define IDS_KEEP_TRANSPARENCY 1071
#define IDS_OPTIONS_BUTTON 1090
#define IDS_SAVE_AND_CLOSE 1091
#define IDS_HELP_BUTTON 1092
#define IDS_ABOUT_BUTTON 1093

// Settings window controls without a caption of their own. A number edit's
// up-down control has the number after the edit's.
#define IDC_START_MODE_LIST 1011
#define IDC_JPEG_QUALITY_EDIT 1022
#define IDC_JPEG_QUALITY_UPDOWN 1023
#define IDC_JPEG_SUBSAMPLING_LIST 1025
#define IDC_JPEG_SIZE_LIMIT_EDIT 1028
#define IDC_JPEG_SIZE_LIMIT_UPDOWN 1029
#define IDC_JPEG_SIZE_LIMIT_UNIT 1030
#define IDC_RESIZE_TARGET_EDIT 1045
#define IDC_OUTPUT_FOLDER_EDIT IDS_OUTPUT_NO_FOLDER
#define IDC_SUB_FOLDER_EDIT 1055

// System menu item of the settings window, and the separator under it.
#define IDS_ALWAYS_ON_TOP 5000
#define IDM_ALWAYS_ON_TOP_SEPARATOR 6000

#define IDS_UI_FONT_FACE 20000
#define IDS_FOLDER_CHOOSER_TITLE 20010
#define IDS_ABOUT_CAPTION 20020

// Column headings of the plug-in list.
#define IDS_PLUGIN_COLUMN_FILE 20100
#define IDS_PLUGIN_COLUMN_TYPES 20101
#define IDS_PLUGIN_COLUMN_DESCRIPTION 20102

// Start-mode list entries, in start-mode order (0 asks, 1-5 convert at once).
#define IDS_START_MODE_ASK 21000
#define IDS_START_MODE_BMP 21001
#define IDS_START_MODE_PNG 21002
#define IDS_START_MODE_JPEG 21003
#define IDS_START_MODE_GIF 21004
#define IDS_START_MODE_JPEG_COPY 21005

// Progress window of a running batch, and its list of failed files.
// %1 and %2 stand for numbers or texts the program puts in.
#define IDS_PROGRESS_CAPTION 22000
#define IDS_PROGRESS_COUNT 22001
#define IDS_PROGRESS_CANCEL 22002
#define IDS_PROGRESS_CANCELLING 22003
#define IDS_PROGRESS_CLOSE 22004
#define IDS_PROGRESS_FAILURES 22005
#define IDS_PROGRESS_DONE_CAPTION 22006
#define IDS_PROGRESS_FAILED_LINE 22007
// Its controls.
#define IDC_PROGRESS_COUNT 2201
#define IDC_PROGRESS_FILE 2202
#define IDC_PROGRESS_BAR 2203
#define IDC_PROGRESS_FAILURES 2204

// Why a file was not converted (the command line gives the same reasons).
#define IDS_FAILURE_NOT_A_PICTURE 22010
#define IDS_FAILURE_CANNOT_READ 22011
#define IDS_FAILURE_RESIZE 22012
#define IDS_FAILURE_ENCODE 22013
#define IDS_FAILURE_LOSSLESS 22014
#define IDS_FAILURE_NO_FREE_NAME 22015
#define IDS_FAILURE_COPY 22016
#define IDS_FAILURE_NOT_JPEG 22017
#define IDS_FAILURE_WITH_DETAIL 22018

// The codecs' details: 22100 + (status - 50000); 22099 for any other status.
#define IDS_CODEC_STATUS_OTHER 22099
#define IDS_CODEC_STATUS_BASE 22100

// Error boxes: one title, four texts.
#define IDS_ERROR_TITLE 30000
#define IDS_ERROR_OUT_OF_MEMORY 30001
#define IDS_ERROR_NOTHING_CONVERTED 30002
#define IDS_ERROR_NO_OUTPUT_FOLDER 30003
#define IDS_ERROR_SUB_FOLDER 30004

// Options dialog (language, font size, desktop shortcut).  The dialog's
// IDCANCEL button applies the choices and closes it.
#define IDD_OPTIONS 2000
#define IDC_DESKTOP_SHORTCUT 2010
#define IDC_PLUGINS_BUTTON 2011
#define IDC_LANGUAGE_LIST 2021
#define IDC_LARGE_FONT 2030

// Plug-in dialog (plug-in folder, plug-ins switched off).
#define IDD_PLUGINS 2100
#define IDC_PLUGIN_FOLDER 2110
#define IDC_PLUGIN_CHOOSE_FOLDER 2120
#define IDC_PLUGIN_CLEAR_FOLDER 2130
#define IDC_PLUGIN_LIST 2140

#endif
