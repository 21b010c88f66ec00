// Sorting of the found-file table by one of its columns.
#pragma once

// Column 5 sorts by the name's extension.
constexpr int kSortByType = 5;

// Compares rows a and b for the column: columns 0, 2 and 3 as text without
// ASCII case, column 1 as numbers (empty is 0), column 5 by extension. A
// direction of 2 reverses columns 0 to 3; the type order is always ascending.
int CompareRows(int a, int b, int column, int direction);
// Shell sort of the table's rows (gap count / 2, halved). Texts and icons
// move; each row's position field stays with its place.
void SortFileTable(int column, int direction);
