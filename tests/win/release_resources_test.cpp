// What Windows reads from the three deliverables: one version block made
// from resources/version.h in each, and the program's application manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/version.h"

namespace {

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\'));
}

struct VersionBlock {
    std::vector<char> bytes;
    bool Read(const std::string& file) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
        if (size == 0) return false;
        bytes.resize(size);
        return GetFileVersionInfoA(file.c_str(), 0, size, bytes.data()) != FALSE;
    }
    const VS_FIXEDFILEINFO* Fixed() {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(bytes.data(), "\\", &value, &length) ||
            length < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return (const VS_FIXEDFILEINFO*)value;
    }
    // A value of the Japanese (0411, Unicode) string table, in the ANSI code page.
    std::string Text(const char* name) {
        void* value = nullptr;
        UINT length = 0;
        std::string path = std::string("\\StringFileInfo\\041104b0\\") + name;
        if (!VerQueryValueA(bytes.data(), path.c_str(), &value, &length) || length == 0)
            return "(none)";
        return (const char*)value;
    }
};

struct Module {
    const char* file;
    DWORD type;
};

TEST(ReleaseResources, EveryModuleCarriesTheOneVersion) {
    const Module modules[] = {
        {"Ferrow.exe", VFT_APP}, {"Ferrow.dll", VFT_DLL}, {"jpeg.spi", VFT_DLL}};
    const DWORD high = (FERROW_VERSION_MAJOR << 16) | FERROW_VERSION_MINOR;
    for (const Module& m : modules) {
        SCOPED_TRACE(m.file);
        VersionBlock block;
        ASSERT_TRUE(block.Read(ProgramFolder() + "\\" + m.file)) << "no version block";
        const VS_FIXEDFILEINFO* fixed = block.Fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, high);
        EXPECT_EQ(fixed->dwFileVersionLS, 0u);
        EXPECT_EQ(fixed->dwProductVersionMS, high);
        EXPECT_EQ(fixed->dwFileType, m.type);
        EXPECT_EQ(block.Text("FileVersion"), FERROW_VERSION);
        EXPECT_EQ(block.Text("ProductVersion"), FERROW_VERSION);
        EXPECT_EQ(block.Text("ProductName"), "Ferrow");
        EXPECT_EQ(block.Text("OriginalFilename"), m.file);
        EXPECT_NE(block.Text("FileDescription").find("Ferrow"), std::string::npos);
        EXPECT_NE(block.Text("LegalCopyright").find("the Ferrow authors"), std::string::npos);
    }
}

std::string ProgramManifest() {
    HMODULE program = LoadLibraryExA((ProgramFolder() + "\\Ferrow.exe").c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE);
    if (!program) return "";
    std::string text;
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)); // RT_MANIFEST
    if (found) {
        HGLOBAL loaded = LoadResource(program, found);
        text.assign((const char*)LockResource(loaded), SizeofResource(program, found));
    }
    FreeLibrary(program);
    return text;
}

TEST(ReleaseResources, ProgramManifestAsksForVisualStylesAndTheUsersRights) {
    const std::string manifest = ProgramManifest();
    ASSERT_FALSE(manifest.empty()) << "Ferrow.exe has no manifest";
    const char* required[] = {
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "level=\"asInvoker\"",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // Windows 10 and 11
        ">true</gdiScaling>",
    };
    for (const char* text : required)
        EXPECT_NE(manifest.find(text), std::string::npos) << text;
    const std::string version = "version=\"" + std::to_string(FERROW_VERSION_MAJOR) + "." +
                                std::to_string(FERROW_VERSION_MINOR) + ".0.0\"";
    EXPECT_NE(manifest.find(version), std::string::npos)
        << "assembly version differs from the program's";
}

// That the running program gets the version 6 controls is checked through
// Ferrow.exe itself in the main window's UI tests.

} // namespace
