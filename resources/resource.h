// Resource and command identifiers of Ferrow.exe, shared by the resource
// scripts and the program.
#pragma once

// Icons, menus and bitmaps.
#define IDI_FERROW 101
#define IDR_MAINMENU 102
#define IDR_LISTMENU 103
#define IDI_GIF 104
#define IDI_JPEG 105
#define IDI_HTML 107
#define IDI_OTHER 108
#define IDB_LOGO 109
#define IDI_PNG 119
#define IDB_INDICATOR 120
#define IDI_WAV 121
#define IDI_EXTERNAL_HTML 122
#define IDB_TOOLSTRIP 125

// Control identifiers of the main window's children.
#define IDC_FILELIST 100
#define IDC_STATUSBAR 101
#define IDC_URLBOX 102
#define IDC_TOOLBAR 103
#define IDC_PROGRESS 105
#define IDC_VIEWER 106

// Commands shared by the menus and the toolbar.
#define IDM_ANALYSE 40001
#define IDM_URL_FROM_BROWSER 40002
#define IDM_DOWNLOAD 40003
#define IDM_DOWNLOAD_ALL 40004
#define IDM_STOP 40005
#define IDM_EXIT 40006
#define IDM_SETTINGS 40007
#define IDM_TOOLBAR 40008
#define IDM_VIEWER 40009
#define IDM_OPEN_DL_FOLDER 40010
#define IDM_VIEW_LIST 40011
#define IDM_VIEW_DETAILS 40012
#define IDM_SORT_NAME 40013
#define IDM_SORT_TYPE 40014
#define IDM_SORT_SIZE 40015
#define IDM_SORT_DATE 40016
#define IDM_CLEAR_LOG 40017
#define IDM_HELP 40018
#define IDM_ABOUT 40019
#define IDM_SELECT_ALL 40020
#define IDM_ANALYSE_HTML 40022
#define IDM_CLEAR_HISTORY 40042
