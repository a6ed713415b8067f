// Resource numbers shared by the resource script and the code (plain defines: the
// resource compiler reads this file too).
#pragma once

// Strings: menu texts 101-111, help texts 112-122, update texts 123-127.
#define IDS_FILL_SCREEN 101
#define IDS_FILL_TOP 102
#define IDS_FILL_LEFT 103
#define IDS_FILL_MIDDLE 104
#define IDS_FILL_BOTTOM 105
#define IDS_FILL_RIGHT 106
#define IDS_BEST_FIT 107
#define IDS_UPDATE_AVAILABLE_MENU 108
#define IDS_HELP_FEEDBACK 109
#define IDS_ABOUT 110
#define IDS_CANCEL 111
#define IDS_HELP_FILL_SCREEN 112
#define IDS_HELP_FILL_TOP 113
#define IDS_HELP_FILL_LEFT 114
#define IDS_HELP_FILL_MIDDLE 115
#define IDS_HELP_FILL_BOTTOM 116
#define IDS_HELP_FILL_RIGHT 117
#define IDS_HELP_BEST_FIT 118
#define IDS_HELP_UPDATE 119
#define IDS_HELP_HELP 120
#define IDS_HELP_ABOUT 121
#define IDS_HELP_CANCEL 122
#define IDS_NEWER_VERSION_MENU 123
#define IDS_NEW_BETA_MENU 124
#define IDS_NEW_BETA_STATUS 125
#define IDS_NEWER_VERSION_STATUS 126
#define IDS_UPDATE_STATUS 127
#define IDS_BETA_NOTICE 131
#define IDS_LAST_CHECKED 136
#define IDS_NEWEST_VERSION 137
#define IDS_BETA 138
#define IDS_RELEASE_VERSION_URL 140
#define IDS_BETA_VERSION_URL 142
// The submenu's line for a picture whose pixels cannot be decoded.
#define IDS_PICTURE_UNREADABLE 150
// The rows of a desktop of several monitors and their help texts.
#define IDS_SPAN_GROUP 151
#define IDS_ONE_MONITOR_GROUP 152
#define IDS_HELP_SPAN 153
#define IDS_HELP_SPAN_PIXELS 154
#define IDS_HELP_ONE_MONITOR 155
// The About box's line on where the last background went, by the settings' MonitorTarget.
#define IDS_LAST_TARGET_EVERY_MONITOR 156
#define IDS_LAST_TARGET_SPAN 157
#define IDS_LAST_TARGET_ONE_MONITOR 158

// Registration: the registry scripts (type "REGISTRY") and the type library.
#define IDR_APPID_SCRIPT 101
#define IDR_CLASS_SCRIPT 102
#define IDR_TYPELIB 1  // the first: what LoadTypeLibEx finds in the module by its path

// Dialogs.
#define IDD_PLEASE_WAIT 216
#define IDD_ABOUT 219

// Bitmaps: the menu entry's at 120 dpi and more (16x16) and below (13x13), and the logo.
#define IDB_MENU_ENTRY_LARGE 213
#define IDB_LOGO 218
#define IDB_MENU_ENTRY_SMALL 220

// Icons of the new context menu's commands: the entry's, and each fit mode's (base + mode,
// modes 1-7) in a variant for light and one for dark menus.
#define IDI_ENTRY 300
#define IDI_FIT_LIGHT_BASE 300
#define IDI_FIT_DARK_BASE 310

// Controls of the About box.
#define IDC_ABOUT_STATUS 104
#define IDC_ABOUT_VERSION 201
#define IDC_ABOUT_WEB_SITE 206
#define IDC_ABOUT_BETA_FEEDBACK 207
#define IDC_ABOUT_CHECK_NOW 214
#define IDC_ABOUT_ALLOW_CHECKS 222
#define IDC_ABOUT_LAST_CHECKED 223
#define IDC_ABOUT_LAST_TARGET 224
