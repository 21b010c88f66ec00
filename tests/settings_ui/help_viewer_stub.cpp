// Stands in for the HTML Help library: registered as the HTML Help control's
// server for a test, it appends each request to the file named by the
// environment variable FERROW_HELP_RECORD, one line "command<TAB>file".
#include <windows.h>

#include <cstdio>

extern "C" HWND WINAPI HtmlHelpA(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
    char record[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("FERROW_HELP_RECORD", record, sizeof record);
    if (length == 0 || length >= sizeof record) return nullptr;
    FILE* out = fopen(record, "ab");
    if (!out) return nullptr;
    fprintf(out, "%u\t%s\t%s\r\n", command, file ? file : "", owner ? "owner" : "no owner");
    fclose(out);
    return nullptr;
}
