// The file list: an owner-data list view showing the found-file table.
#pragma once
#include <windows.h>

// Creates the list (control 100) with its image list and four columns.
HWND CreateFileList(HWND parent, HINSTANCE instance);
// WM_NOTIFY from control 100.
LRESULT OnFileListNotify(NMHDR* header);
// The found-file table's requests to the list: empty it, redraw a row, the
// row count, and drawing off (0) or on again, at most once a period.
void ListViewDeleteAll();
void ListViewDeleteRow(int row);
void ListViewRedrawRow(int row);
void ListViewPublishCount(int count);
void ListViewSetRedraw(int on);
// Draws now what a page's analysis put in the table, if that waits.
void ListShowNow();
// Sorts by a column (5: by extension) and redraws every item.
void ListSort(int column);
// Switches between list view (40011) and details view (40012), keeping the
// radio checks of both menus and the toolbar's view buttons in step.
void SetListView(int command);
// 40011 while the list shows list view, else 40012.
int CurrentViewCommand();
