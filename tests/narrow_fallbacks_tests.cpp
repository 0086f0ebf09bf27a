// Narrow-character fallbacks, called directly: conversion to the ANSI code page and back,
// registry values by type, font structures, directory search, profile strings, the path
// getters' bounds, and the replacement table of a platform without the wide calls.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "platform/api_table.h"
#include "platform/narrow_fallbacks.h"
#include "support/files_registry.h"
#include "support/program_test.h"

namespace {

const WCHAR kTestKey[] = L"Software\\UninstTests\\narrow_fallbacks";

std::string Narrow(const std::wstring& wide) {
    char buffer[1024];
    int cb = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, buffer, sizeof(buffer), nullptr, nullptr);
    return cb > 0 ? std::string(buffer) : std::string();
}

// A folder of the test's own, its path ending in a backslash.
class FolderTest : public ProgramTest {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.Path().empty()); }
    TempFolder dir_;
    const std::wstring folder_ = dir_.Path() + L"\\";
};

// A key of the test's own, open, removed at the end.
class RegistryTest : public ProgramTest {
protected:
    void SetUp() override {
        DeleteTree(HKEY_CURRENT_USER, kTestKey);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key_, nullptr));
    }
    void TearDown() override {
        RegCloseKey(key_);
        DeleteTree(HKEY_CURRENT_USER, kTestKey);
    }
    void SetNarrow(const char* name, DWORD type, const void* data, DWORD cb) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), cb));
    }
    // What the fallback reads of `name` given `cb` bytes of a buffer whose every byte was 0xCC.
    struct Read { LSTATUS status; DWORD type, cb; BYTE data[600]; };
    Read Query(const WCHAR* name, DWORD cb) {
        Read read = {0, 0, cb, {}};
        memset(read.data, 0xCC, sizeof(read.data));
        read.status = FallbackRegQueryValueEx(key_, name, nullptr, &read.type, read.data, &read.cb);
        return read;
    }
    HKEY key_ = nullptr;
};

// --- conversion helpers ----------------------------------------------------------------------

TEST(ConversionHelpers, WidenIntoCutsAndTerminatesWithinCapacity) {
    struct Case { int cchDst; const WCHAR* expected; } cases[] = {
        {16, L"abcde"},  // fits
        {6, L"abcde"},   // fits exactly with the terminator
        {5, L"abcd"},    // one too long: cut, terminated
        {1, L""},
    };
    for (const Case& c : cases) {
        WCHAR buffer[16];
        wmemset(buffer, L'#', 16);
        EXPECT_EQ(5, WidenInto(buffer, "abcde", c.cchDst)) << c.cchDst;
        EXPECT_STREQ(c.expected, buffer) << c.cchDst;
        for (int i = c.cchDst; i < 16; ++i) EXPECT_EQ(L'#', buffer[i]) << c.cchDst << " at " << i;
    }
    WCHAR untouched[2] = {L'#', L'#'};
    EXPECT_EQ(0, WidenInto(untouched, nullptr, 2));
    EXPECT_EQ(0, WidenInto(untouched, "x", 0));
    EXPECT_EQ(L'#', untouched[0]);
}

TEST(ConversionHelpers, NarrowIntoCutsAndTerminatesWithinCapacity) {
    struct Case { int cbDst; const char* expected; } cases[] = {{16, "abcde"}, {6, "abcde"}, {5, "abcd"}, {1, ""}};
    for (const Case& c : cases) {
        char buffer[16];
        memset(buffer, '#', 16);
        NarrowInto(buffer, L"abcde", c.cbDst);
        EXPECT_STREQ(c.expected, buffer) << c.cbDst;
        for (int i = c.cbDst; i < 16; ++i) EXPECT_EQ('#', buffer[i]) << c.cbDst << " at " << i;
    }
}

TEST(ConversionHelpers, NarrowDupKeepsNullAndCopiesOnlyTheCount) {
    EXPECT_EQ(nullptr, NarrowDup(nullptr));
    char* text = NarrowDup(L"plain");
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("plain", text);
    FreeNarrow(text);
    char* part = NarrowDupN(L"abcdef", 3);
    ASSERT_NE(nullptr, part);
    EXPECT_STREQ("abc", part);
    FreeNarrow(part);
}

// --- the replacement table -------------------------------------------------------------------

// The selection is put back at the end of each test.
using NarrowTable = ProgramTest;

TEST_F(NarrowTable, EntriesFollowThePlatformTable) {
    ApiTable table = Platform.ApiTable;
    InstallNarrowTable(&table);
    // Every entry but MessageBox leaves its wide call: a W import left in place fails on a
    // system without the wide calls.
#define EXPECT_REPLACED(field, wide, narrow)                                                 \
    EXPECT_NE(nullptr, table.field) << #field;                                              \
    if (static_cast<const void*>(&table.field) != &table.MessageBox)                        \
        EXPECT_NE(reinterpret_cast<const void*>(&::wide), reinterpret_cast<const void*>(table.field)) << #field;
#define EXPECT_FILLED(field, wide, narrow) EXPECT_NE(nullptr, table.field) << #field;
    API_TABLE_ENTRIES(EXPECT_REPLACED, EXPECT_FILLED)
#undef EXPECT_REPLACED
#undef EXPECT_FILLED

    EXPECT_EQ(&MessageBoxW, table.MessageBox);
    EXPECT_EQ(&FallbackSetWindowText, table.SetWindowText);
    EXPECT_EQ(&DefWindowProcA, table.DefWindowProc);
    EXPECT_EQ(&SendMessageA, table.SendMessage);
    EXPECT_EQ(&GetMessageA, table.GetMessage);
    EXPECT_EQ(reinterpret_cast<const void*>(&LoadIconA), reinterpret_cast<const void*>(table.LoadIcon));
    EXPECT_EQ(reinterpret_cast<const void*>(&DialogBoxParamA), reinterpret_cast<const void*>(table.DialogBoxParam));
    EXPECT_EQ(&FallbackCreateFile, table.CreateFile);
    EXPECT_EQ(&FallbackRegQueryValueEx, table.RegQueryValueEx);
    EXPECT_EQ(&FallbackGetCurrentDirectory, table.GetCurrentDirectory);
    EXPECT_EQ(&FallbackWritePrivateProfileString, table.WritePrivateProfileString);
    EXPECT_EQ(&FallbackSHGetPathFromIDList, table.SHGetPathFromIDList);
}

#ifdef UNINST_NARROW_TABLE
TEST_F(NarrowTable, TestBuildSelectsTheNarrowTable) {
    SelectPlatform();
    EXPECT_FALSE(Platform.WidePlatform);
    EXPECT_EQ(&MessageBoxW, Platform.ApiTable.MessageBox);
    EXPECT_EQ(&FallbackSetWindowText, Platform.ApiTable.SetWindowText);
    EXPECT_EQ(&FallbackSHGetPathFromIDList, Platform.ApiTable.SHGetPathFromIDList);
    ReleasePlatform();  // nothing was loaded: the table stays as it is
    EXPECT_EQ(&FallbackSHGetPathFromIDList, Platform.ApiTable.SHGetPathFromIDList);
}
#endif

// --- files and search ------------------------------------------------------------------------

TEST_F(FolderTest, NameOutsideTheCodePageReachesTheNarrowCallSubstituted) {
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page holds every character";
    // U+0100 is outside the Western code pages; their best-fit table gives 'A'.
    std::wstring wide = folder_ + L"n\x0100me.txt";
    std::string expected = Narrow(wide);
    ASSERT_FALSE(expected.empty());
    HANDLE file = FallbackCreateFile(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (expected.find('?') != std::string::npos) {
        // No best fit: the substitute is a character no file name may hold.
        EXPECT_EQ(INVALID_HANDLE_VALUE, file);
        return;
    }
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(expected.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, FallbackGetFileAttributes(wide.c_str()));
    EXPECT_TRUE(FallbackDeleteFile(wide.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(expected.c_str()));
}

TEST_F(FolderTest, FindFirstFileWithoutMatchLeavesTheStructureUntouched) {
    WIN32_FIND_DATAW data;
    memset(&data, 0xAB, sizeof(data));
    WIN32_FIND_DATAW before = data;
    HANDLE find = FallbackFindFirstFile((folder_ + L"nothing*.none").c_str(), &data);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    EXPECT_EQ(0, memcmp(&before, &data, sizeof(data)));
}

TEST_F(FolderTest, FindFirstDeliversWideNamesAndSizes) {
    ASSERT_TRUE(WriteFileBytes(folder_ + L"found.txt", uninstpack::Bytes(12, 't')));
    WIN32_FIND_DATAW data;
    memset(&data, 0xAB, sizeof(data));
    HANDLE find = FallbackFindFirstFile((folder_ + L"found*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    EXPECT_STREQ(L"found.txt", data.cFileName);
    EXPECT_EQ(12u, data.nFileSizeLow);
    EXPECT_EQ(0u, data.nFileSizeHigh);
    EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_LT(wcslen(data.cAlternateFileName), 14u);
    FindClose(find);
}

// --- path getters ----------------------------------------------------------------------------

// What does not fit gives the size it needs, or else the capacity with ERROR_INSUFFICIENT_BUFFER.
using Getter = DWORD (*)(WCHAR* buffer, DWORD cch);
struct PathGetter { const char* name; Getter wide, fallback; bool returnsSizeNeeded; };

// A folder spelled with the steps and dots that the full path folds away.
const wchar_t kSpelledPath[] = L"C:\\windows\\.\\system32\\..\\Fonts. ";

// The wide call and its fallback with the same arguments, a buffer `b` of `n` units among them.
#define GETTER(name, arguments, returnsSizeNeeded)                                      \
    {#name, [](WCHAR* b, DWORD n) -> DWORD { return name##W arguments; },               \
     [](WCHAR* b, DWORD n) -> DWORD { return Fallback##name arguments; }, returnsSizeNeeded}

const PathGetter kPathGetters[] = {
    GETTER(GetWindowsDirectory, (b, n), true),
    GETTER(GetSystemDirectory, (b, n), true),
    GETTER(GetTempPath, (n, b), true),
    GETTER(GetCurrentDirectory, (n, b), true),
    GETTER(GetModuleFileName, (nullptr, b, n), false),
    GETTER(GetFullPathName, (kSpelledPath, n, b, nullptr), true),
};

TEST(PathGetters, FitFitExactlyAndOneTooLong) {
    for (const PathGetter& g : kPathGetters) {
        WCHAR expected[MAX_PATH];
        DWORD len = g.wide(expected, MAX_PATH);
        ASSERT_GT(len, 3u) << g.name;
        ASSERT_LT(len, static_cast<DWORD>(MAX_PATH)) << g.name;

        WCHAR buffer[MAX_PATH + 8];
        wmemset(buffer, L'#', ARRAYSIZE(buffer));
        EXPECT_EQ(len, g.fallback(buffer, MAX_PATH)) << g.name << " fits";
        EXPECT_STREQ(expected, buffer) << g.name << " fits";

        wmemset(buffer, L'#', ARRAYSIZE(buffer));
        EXPECT_EQ(len, g.fallback(buffer, len + 1)) << g.name << " fits exactly";
        EXPECT_STREQ(expected, buffer) << g.name << " fits exactly";
        EXPECT_EQ(L'#', buffer[len + 1]) << g.name;

        wmemset(buffer, L'#', ARRAYSIZE(buffer));
        SetLastError(0);
        DWORD result = g.fallback(buffer, len);
        DWORD error = GetLastError();
        if (g.returnsSizeNeeded) {
            EXPECT_EQ(len + 1, result) << g.name << " one too long";
        } else {
            EXPECT_EQ(len, result) << g.name << " one too long";
            EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), error) << g.name;
        }
        EXPECT_EQ(0, wcsncmp(expected, buffer, len - 1)) << g.name << " is cut";
        EXPECT_EQ(L'\0', buffer[len - 1]) << g.name << " is terminated";
        EXPECT_EQ(L'#', buffer[len]) << g.name << " wrote past the buffer";
    }
}

TEST_F(FolderTest, GetCurrentDirectoryReturnsTheWideLength) {
    WCHAR saved[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    std::wstring sub = folder_ + L"current dir";
    ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
    ASSERT_TRUE(FallbackSetCurrentDirectory(sub.c_str()));
    WCHAR buffer[MAX_PATH];
    DWORD cch = FallbackGetCurrentDirectory(MAX_PATH, buffer);
    char narrow[MAX_PATH];
    DWORD cb = GetCurrentDirectoryA(MAX_PATH, narrow);
    SetCurrentDirectoryW(saved);
    EXPECT_EQ(wcslen(buffer), cch);
    EXPECT_EQ(static_cast<DWORD>(MultiByteToWideChar(CP_ACP, 0, narrow, cb, nullptr, 0)), cch);
    EXPECT_TRUE(FallbackRemoveDirectory(sub.c_str()));
}

TEST(ShellPaths, PathFromItemListMatchesTheWideCall) {
    PIDLIST_ABSOLUTE items = nullptr;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &items));
    WCHAR expected[MAX_PATH];
    WCHAR path[MAX_PATH];
    ASSERT_TRUE(SHGetPathFromIDListW(items, expected));
    EXPECT_TRUE(FallbackSHGetPathFromIDList(items, path));
    EXPECT_STREQ(expected, path);
    CoTaskMemFree(items);
}

// --- registry --------------------------------------------------------------------------------

TEST_F(RegistryTest, DwordPassesThroughExactly) {
    DWORD value = 0x12345678;
    SetNarrow("count", REG_DWORD, &value, sizeof(value));
    const Read read = Query(L"count", 4);
    EXPECT_EQ(ERROR_SUCCESS, read.status);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), read.type);
    EXPECT_EQ(4u, read.cb);
    EXPECT_EQ(0, memcmp(&value, read.data, 4));
    EXPECT_EQ(0xCC, read.data[4]);
}

TEST_F(RegistryTest, OtherTypesPassThroughUnconverted) {
    SetNarrow("list", REG_MULTI_SZ, "a\0bc\0", 6);
    const BYTE binary[3] = {1, 0, 2};
    SetNarrow("blob", REG_BINARY, binary, 3);
    struct Case { const WCHAR* name; DWORD type; const void* bytes; DWORD cb; } cases[] = {
        {L"list", REG_MULTI_SZ, "a\0bc\0", 6}, {L"blob", REG_BINARY, binary, 3}};
    for (const Case& c : cases) {
        const Read read = Query(c.name, 32);
        EXPECT_EQ(ERROR_SUCCESS, read.status) << c.type;
        EXPECT_EQ(c.type, read.type);
        ASSERT_EQ(c.cb, read.cb) << c.type;
        EXPECT_EQ(0, memcmp(c.bytes, read.data, read.cb)) << c.type;
    }
}

TEST_F(RegistryTest, TextComesBackWideWithTheWideSize) {
    SetNarrow("text", REG_SZ, "hello", 6);
    SetNarrow("expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    struct Case { const WCHAR* name; DWORD type; const WCHAR* text; } cases[] = {
        {L"text", REG_SZ, L"hello"}, {L"expand", REG_EXPAND_SZ, L"%TEMP%\\x"}};
    for (const Case& c : cases) {
        const Read read = Query(c.name, 520);
        EXPECT_EQ(ERROR_SUCCESS, read.status);
        EXPECT_EQ(c.type, read.type);
        EXPECT_STREQ(c.text, reinterpret_cast<const WCHAR*>(read.data));
        EXPECT_EQ(2 * wcslen(c.text) + 2, read.cb);
    }
}

TEST_F(RegistryTest, TextBufferFitsFitsExactlyOrReportsTheSizeNeeded) {
    SetNarrow("text", REG_SZ, "abcde", 6);
    struct Case { DWORD cb; LSTATUS status; DWORD cbAfter; } cases[] = {
        {520, ERROR_SUCCESS, 12},
        {12, ERROR_SUCCESS, 12},   // exactly "abcde" and its terminator, wide
        {11, ERROR_MORE_DATA, 12},  // one byte short: nothing written, size needed reported
        {2, ERROR_MORE_DATA, 12},
    };
    for (const Case& c : cases) {
        const Read read = Query(L"text", c.cb);
        EXPECT_EQ(c.status, read.status) << c.cb;
        EXPECT_EQ(c.cbAfter, read.cb) << c.cb;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), read.type) << c.cb;
        if (c.status == ERROR_SUCCESS) EXPECT_STREQ(L"abcde", reinterpret_cast<const WCHAR*>(read.data));
        for (DWORD i = c.status == ERROR_SUCCESS ? c.cb : 0; i < sizeof(read.data); ++i)
            ASSERT_EQ(0xCC, read.data[i]) << c.cb << " wrote byte " << i;
    }
    DWORD cb = 0;
    EXPECT_EQ(ERROR_SUCCESS, FallbackRegQueryValueEx(key_, L"text", nullptr, nullptr, nullptr, &cb));
    EXPECT_EQ(12u, cb);
    EXPECT_EQ(static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND),
              FallbackRegQueryValueEx(key_, L"missing", nullptr, nullptr, nullptr, &cb));
}

TEST_F(RegistryTest, SetValueConvertsTextAndRecomputesItsSize) {
    const WCHAR text[] = L"abc";
    EXPECT_EQ(ERROR_SUCCESS, FallbackRegSetValueEx(key_, L"text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                                   sizeof(text)));
    DWORD value = 7;
    EXPECT_EQ(ERROR_SUCCESS, FallbackRegSetValueEx(key_, L"count", 0, REG_DWORD,
                                                   reinterpret_cast<const BYTE*>(&value), sizeof(value)));
    char narrow[16];
    DWORD cb = sizeof(narrow);
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "text", nullptr, &type, reinterpret_cast<BYTE*>(narrow), &cb));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(4u, cb);
    EXPECT_STREQ("abc", narrow);
    DWORD read = 0;
    cb = sizeof(read);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "count", nullptr, &type, reinterpret_cast<BYTE*>(&read), &cb));
    EXPECT_EQ(7u, read);
}

TEST_F(RegistryTest, SubkeysAreEnumeratedOpenedAndDeleted) {
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, std::wstring(kTestKey) + L"\\child"));
    WCHAR name[32];
    DWORD cch = ARRAYSIZE(name);
    ASSERT_EQ(ERROR_SUCCESS, FallbackRegEnumKeyEx(key_, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"child", name);
    EXPECT_EQ(5u, cch);
    cch = ARRAYSIZE(name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, FallbackRegEnumKeyEx(key_, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    HKEY sub = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, FallbackRegOpenKeyEx(key_, L"child", 0, KEY_READ, &sub));
    RegCloseKey(sub);
    EXPECT_EQ(ERROR_SUCCESS, FallbackRegDeleteKey(key_, L"child"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, FallbackRegOpenKeyEx(key_, L"child", 0, KEY_READ, &sub));

    SetNarrow("gone", REG_SZ, "x", 2);
    SetNarrow("", REG_SZ, "default", 8);
    EXPECT_EQ(ERROR_SUCCESS, FallbackRegDeleteValue(key_, L"gone"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "gone", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "", nullptr, nullptr, nullptr, nullptr));
}

// --- fonts and windows -----------------------------------------------------------------------

TEST(Fonts, GetObjectOfAFontGivesTheWideStructureAnd60) {
    LOGFONTW wide = {};
    wide.lfHeight = -13;
    wide.lfWeight = FW_BOLD;
    wide.lfItalic = TRUE;
    wide.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wide.lfFaceName, L"Tahoma", LF_FACESIZE);
    HFONT font = FallbackCreateFontIndirect(&wide);
    ASSERT_NE(nullptr, font);
    LOGFONTW read;
    memset(&read, 0xAB, sizeof(read));
    EXPECT_EQ(60, FallbackGetObject(font, sizeof(LOGFONTW), &read));
    EXPECT_EQ(-13, read.lfHeight);
    EXPECT_EQ(FW_BOLD, read.lfWeight);
    EXPECT_EQ(TRUE, read.lfItalic);
    EXPECT_STREQ(L"Tahoma", read.lfFaceName);
    LOGFONTW direct;
    ASSERT_EQ(static_cast<int>(sizeof(LOGFONTW)), GetObjectW(font, sizeof(LOGFONTW), &direct));
    EXPECT_STREQ(L"Tahoma", direct.lfFaceName);
    // Any other size passes straight to the narrow call.
    BYTE part[24];
    BYTE partA[24];
    EXPECT_EQ(GetObjectA(font, sizeof(partA), partA), FallbackGetObject(font, sizeof(part), part));
    EXPECT_EQ(0, memcmp(partA, part, sizeof(part)));
    DeleteObject(font);
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(Windows, ClassAndWindowTextsCrossTheNarrowCalls) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"NarrowFbClass";  // 13 characters
    ATOM atom = FallbackRegisterClass(&wc);
    ASSERT_NE(0, atom);
    HWND window = FallbackCreateWindowEx(0, L"NarrowFbClass", L"first", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                         nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, FindWindowW(L"NarrowFbClass", L"first"));
    EXPECT_TRUE(FallbackSetWindowText(window, L"second"));
    WCHAR text[32];
    GetWindowTextW(window, text, ARRAYSIZE(text));
    EXPECT_STREQ(L"second", text);
    DestroyWindow(window);
    UnregisterClassW(L"NarrowFbClass", wc.hInstance);
}

// --- profiles --------------------------------------------------------------------------------

TEST_F(FolderTest, NullKeyDeletesTheSectionAndNullTextTheKey) {
    std::wstring ini = folder_ + L"test.ini";
    std::string iniA = Narrow(ini);
    ASSERT_TRUE(WritePrivateProfileStringA("Keep", "a", "1", iniA.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Keep", "b", "2", iniA.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Drop", "c", "3", iniA.c_str()));

    EXPECT_TRUE(FallbackWritePrivateProfileString(L"Drop", nullptr, nullptr, ini.c_str()));
    EXPECT_TRUE(FallbackWritePrivateProfileString(L"Keep", L"b", nullptr, ini.c_str()));
    char value[16];
    GetPrivateProfileStringA("Drop", "c", "none", value, sizeof(value), iniA.c_str());
    EXPECT_STREQ("none", value);
    GetPrivateProfileStringA("Keep", "b", "none", value, sizeof(value), iniA.c_str());
    EXPECT_STREQ("none", value);

    GetPrivateProfileStringA("Keep", "a", "none", value, sizeof(value), iniA.c_str());
    EXPECT_STREQ("1", value);
}

}  // namespace
