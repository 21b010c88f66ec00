// Resource identifiers of the settings dialog and the about box. Shared by
// resources/settings_dialogs.rc and the dialog code, so plain #defines only.
#pragma once

// Dialog templates.
#define IDD_SETTINGS 112
#define IDD_PAGE_SAVE 113
#define IDD_PAGE_ANALYSIS 114
#define IDD_PAGE_SKIP 115
#define IDD_PAGE_OTHER 116
#define IDD_ABOUT 123

// The program icon shown in the about box.
#define IDI_PROGRAM 101

// Frame dialog.
#define IDC_TABS 1000

// Page 113, save.
#define IDC_HIERARCHICAL 1014
#define IDC_NUMBERED_NAME 1029
#define IDC_PREFER_LARGER 1025
#define IDC_SOCKETS 1036
#define IDC_SOCKETS_SPIN 1038
#define IDC_HOST_SOCKETS 1051
#define IDC_HOST_SOCKETS_SPIN 1052
#define IDC_DLPATH 1015
#define IDC_BROWSE 1003

// Page 114, analysis. 1024 means something else on page 116.
#define IDC_INTERNAL_LINKS 1004
#define IDC_HEAD_CHECK 1016
#define IDC_THUMBNAIL 1024
#define IDC_TIMEOUT 1033
#define IDC_TIMEOUT_SEC 1034
#define IDC_TIMEOUT_UNIT 1035
#define IDC_JPG 1019
#define IDC_HTM 1018
#define IDC_GIF 1017
#define IDC_PNG 1020
#define IDC_WAV 1021
#define IDC_LZH 1022
#define IDC_EXTENSION 1005

// Page 115, skip.
#define IDC_MIN_SIZE_CHECK 1010
#define IDC_MIN_SIZE 1008
#define IDC_MIN_SIZE_UNIT 1012
#define IDC_MAX_SIZE_CHECK 1011
#define IDC_MAX_SIZE 1009
#define IDC_MAX_SIZE_UNIT 1013

// Page 116, other.
#define IDC_CLICK_HTML 1001
#define IDC_VIEWER_DIALOG 1024
#define IDC_EXTERNAL_ICON 1037
#define IDC_IE_MENU 1044
#define IDC_URL_SAVE 1050
#define IDC_PROXY_FLAG 1039
#define IDC_PROXY_LABEL 1042
#define IDC_PROXY 1040
#define IDC_PROXY_PORT_LABEL 1043
#define IDC_PROXY_PORT 1041
#define IDC_COOKIE_FILE 1053
#define IDC_COOKIE_BROWSE 1054
#define IDC_WEBP 1055
#define IDC_AVIF 1056
#define IDC_NO_EXT_IMAGES 1057
#define IDC_BROWSER_EXTENSION 1058

// Static controls without a role in the code.
#define IDC_STATIC -1

// About box.
#define IDC_ABOUT_ICON 1049
#define IDC_ABOUT_NAME 1047
#define IDC_ABOUT_VERSION 1046
#define IDC_ABOUT_LINK 1045
