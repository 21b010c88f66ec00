// Reader and writer of the INI file with the observable behaviour of the
// private-profile functions: names compared without case, missing keys give
// the default, values cut to size - 1, new lines with CR LF line ends.
//
// A save reads the file as it is now into a document, changes the document
// and writes it back whole in one step, so the file is never half written.
// Lines the program does not know (other sections, other keys, comments,
// blank lines) keep their bytes.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The file's lines, each with its own line end ("\r\n", "\n" or none for a
// last line without one).
struct IniDocument {
    std::vector<std::string> lines;
};

enum IniLoadResult {
    IniLoaded,
    IniNoFile,     // no file: an empty document
    IniReadError,  // the file is there but could not be read
};

// How a whole save ended; only IniSaved has changed the file.
enum IniSaveResult {
    IniSaved,
    IniSaveReadError,   // the file could not be read: it was left alone
    IniSaveWriteError,  // it could not be replaced: it was left alone
};

IniLoadResult IniLoad(const char* path, IniDocument* out);
// Replaces the file by the document in one step; 1 on success.
int IniStore(const IniDocument& document, const char* path);
// The document's bytes as they are written.
std::string IniText(const IniDocument& document);
void IniParse(const std::string& text, IniDocument* out);

// Reading a document: value (or fallback) cut to size - 1; bytes copied.
size_t IniGetText(const IniDocument& document, const char* section, const char* key,
                  const char* fallback, char* buffer, size_t size);
// Integer value by the leading-digits rule; fallback when missing or empty.
int IniGetInt(const IniDocument& document, const char* section, const char* key, int fallback);
// Changing a document: sets the value (adding section or key); a null value
// deletes the key.
void IniSetText(IniDocument* document, const char* section, const char* key, const char* value);
void IniSetInt(IniDocument* document, const char* section, const char* key, int value);

// One key straight from the file (a file that cannot be read gives the default).
size_t IniReadText(const char* section, const char* key, const char* fallback, char* buffer,
                   size_t size, const char* path);
int IniReadInt(const char* section, const char* key, int fallback, const char* path);
// One key into the file, saved whole. Returns 1 on success, 0 when the file
// cannot be read or written (it is then left as it was).
int IniWriteText(const char* section, const char* key, const char* value, const char* path);
// Writes an integer as decimal text.
int WriteIniInt(const char* section, const char* key, int value, const char* path);
// C-library style decimal conversion: leading blanks, sign, digits; else 0.
int TextToInt(const char* text);
