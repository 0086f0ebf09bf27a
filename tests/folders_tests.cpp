// Folder codes and macros: resolution against what the system reports, the hand-built
// fallbacks for both platform families with the shell look-up made to fail, the registry's
// Program Files values, the bounds on every composed path, and macro expansion.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "folders/folder_macros.h"
#include "folders/protected_folders.h"
#include "folders/resolve_folder.h"
#include "platform/api_table.h"
#include "support/api_guard.h"
#include "support/files_registry.h"
#include "support/program_test.h"

namespace {

std::wstring Parent(const std::wstring& path) {
    size_t last = path.rfind(L'\\');
    if (last == std::wstring::npos) return std::wstring();
    return path.substr(0, (last > 0 && path[last - 1] == L':') ? last + 1 : last);
}

// The shell's folder for a CSIDL_ code, as the comparisons below want it. Wine 8 gives the
// documents folder with a trailing backslash through the item list and without one through
// SHGetFolderPathW (seen in EveryCodeResolvesToTheSystemsFolder), so that form is left out.
std::wstring SystemPath(DWORD csidl) {
    return WithoutBackslash(ShellFolder(static_cast<int>(csidl)));
}

// What ResolveFolder gives, or "<false>".
std::wstring Resolve(DWORD code) {
    WCHAR path[MAX_PATH];
    path[0] = 0;
    if (!ResolveFolder(path, code)) return L"<false>";
    return path;
}

// --- fakes -----------------------------------------------------------------------------------

// The shell as a test wants it: a folder whose real path is listed is replaced by the given
// text, or fails when that is null; other folders resolve as the system has them.
struct ShellOverride { std::wstring realPath; const wchar_t* replacement; };
std::vector<ShellOverride> g_shellOverrides;

BOOL WINAPI ShellPathOverridden(PCIDLIST_ABSOLUTE items, LPWSTR path) {
    WCHAR real[MAX_PATH];
    if (!SHGetPathFromIDListW(items, real)) return FALSE;
    for (const ShellOverride& entry : g_shellOverrides) {
        if (_wcsicmp(entry.realPath.c_str(), real) != 0) continue;
        if (!entry.replacement) {
            path[0] = 0;
            return FALSE;
        }
        wcscpy(path, entry.replacement);
        return TRUE;
    }
    wcscpy(path, real);
    return TRUE;
}

UINT WINAPI WindowsDirectoryFails(LPWSTR, UINT) { return 0; }

DWORD WINAPI TempPathTooLong(DWORD, LPWSTR) { return MAX_PATH + 5; }

// Registry values as a test wants them: name -> raw data (bytes as stored, maybe without a
// terminator); a name that is not listed is missing.
struct FakeValue { const wchar_t* name; std::wstring data; bool terminated; };
std::vector<FakeValue> g_fakeValues;

LSTATUS WINAPI FakeQueryValue(HKEY, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD cbData) {
    for (const FakeValue& value : g_fakeValues) {
        if (wcscmp(value.name, name) != 0) continue;
        DWORD cb = static_cast<DWORD>((value.data.size() + (value.terminated ? 1 : 0)) * sizeof(WCHAR));
        if (type) *type = REG_SZ;
        if (cb > *cbData) {
            *cbData = cb;
            return ERROR_MORE_DATA;
        }
        memcpy(data, value.data.c_str(), cb);
        *cbData = cb;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

// --- fixture ---------------------------------------------------------------------------------

class FolderTest : public ProgramTest {
protected:
    void SetUp() override { ASSERT_FALSE(windows_.empty()); }
    void TearDown() override {
        g_shellOverrides.clear();
        g_fakeValues.clear();
    }

    // The Windows directory as the system names it (without a trailing backslash), and with one.
    const std::wstring windows_ = WindowsFolder(), w_ = windows_ + L"\\";
};

// --- resolution ------------------------------------------------------------------------------

TEST_F(FolderTest, EveryCodeResolvesToTheSystemsFolder) {
    WCHAR temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    WCHAR system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    const std::wstring quickLaunch = L"\\Microsoft\\Internet Explorer\\Quick Launch";
    struct Case { DWORD code; std::wstring expected; } cases[] = {
        {FOLDER_WINDOWS, windows_},
        {FOLDER_SYSTEM, system},
        {FOLDER_TEMP, temp},
        {FOLDER_COMMON_QUICK_LAUNCH, ShellFolder(CSIDL_COMMON_APPDATA) + quickLaunch},
        {FOLDER_QUICK_LAUNCH, ShellFolder(CSIDL_APPDATA) + quickLaunch},
        {FOLDER_PROGRAM_FILES, ShellFolder(CSIDL_PROGRAM_FILES)},
        {FOLDER_COMMON_FILES, ShellFolder(CSIDL_PROGRAM_FILES_COMMON)},
        {FOLDER_ALL_USERS_PROFILE, Parent(ShellFolder(CSIDL_COMMON_DOCUMENTS))},
        {FOLDER_PROFILES_ROOT, Parent(ShellFolder(CSIDL_PROFILE))},
    };
    for (bool nt : {true, false}) {
        Platform.IsNT = nt;
        for (const Case& c : cases) {
            ASSERT_FALSE(c.expected.empty());
            EXPECT_EQ(Utf8(c.expected), Utf8(Resolve(c.code))) << std::hex << c.code << " nt=" << nt;
        }
        // Every shell code the program uses, the protected ones and those of the macros.
        for (int i = 0; i < ProtectedFolderCount; ++i) {
            DWORD code = ProtectedFolderList[i];
            if (code & 0x80000000) continue;
            EXPECT_EQ(Utf8(SystemPath(code)), Utf8(WithoutBackslash(Resolve(code)))) << "csidl " << code;
        }
        for (int i = 0; i < kInstallDirMacro; ++i) {
            DWORD code = FolderMacroCode(i);
            if (code & 0x80000000) continue;
            EXPECT_EQ(Utf8(SystemPath(code)), Utf8(WithoutBackslash(Resolve(code)))) << "csidl " << code;
        }
    }
    EXPECT_EQ(FOLDER_LIST_END, ProtectedFolderList[ProtectedFolderCount]);
}

TEST_F(FolderTest, FallbacksWithoutTheShell) {
    API_GUARD(SHGetPathFromIDList, ShellPathFails);
    struct Case { DWORD code; std::wstring nt9x, nt; } cases[] = {  // with the NT flag clear, and set
        {CSIDL_COMMON_DESKTOPDIRECTORY, w_ + L"All Users\\Desktop", w_ + L"Profiles\\All Users\\Desktop"},
        {CSIDL_COMMON_APPDATA, w_ + L"All Users\\Application Data", w_ + L"Profiles\\All Users\\Application Data"},
        {CSIDL_COMMON_DOCUMENTS, w_ + L"All Users\\Documents", w_ + L"Profiles\\All Users\\Documents"},
        {CSIDL_APPDATA, w_ + L"Application Data", w_ + L"Profiles\\Administrator\\Application Data"},
        {CSIDL_LOCAL_APPDATA, w_ + L"Application Data",
         w_ + L"Profiles\\Administrator\\Local Settings\\Application Data"},
        {CSIDL_PROFILE, windows_, L"c:\\"},
        {FOLDER_ALL_USERS_PROFILE, w_ + L"All Users", w_ + L"Profiles\\All Users"},
        {FOLDER_WINDOWS, windows_, windows_},
        // The parent of a profile that is the Windows directory or a drive root is no profiles root.
        {FOLDER_PROFILES_ROOT, L"<false>", L"<false>"},
        // No rule builds these by hand.
        {FOLDER_QUICK_LAUNCH, L"<false>", L"<false>"},
        {FOLDER_COMMON_QUICK_LAUNCH, L"<false>", L"<false>"},
        {CSIDL_DESKTOPDIRECTORY, L"<false>", L"<false>"},
        {CSIDL_PERSONAL, L"<false>", L"<false>"},
        {CSIDL_FONTS, L"<false>", L"<false>"},
    };
    for (const Case& c : cases) {
        Platform.IsNT = false;
        EXPECT_EQ(Utf8(c.nt9x), Utf8(Resolve(c.code))) << std::hex << c.code << " 9x";
        Platform.IsNT = true;
        EXPECT_EQ(Utf8(c.nt), Utf8(Resolve(c.code))) << std::hex << c.code << " NT";
    }
}

TEST_F(FolderTest, NtFallbacksDeriveFromTheUsersApplicationData) {
    API_GUARD(SHGetPathFromIDList, ShellPathOverridden);
    Platform.IsNT = true;
    const std::wstring appData = ShellFolder(CSIDL_APPDATA);
    const std::wstring documents = ShellFolder(CSIDL_COMMON_DOCUMENTS);
    // What the shell gives for the user's application data and for the all-users documents (null: it fails).
    const std::wstring settings = L"C:\\Documents and Settings", alice = settings + L"\\Alice\\Application Data";
    struct Case { const wchar_t* appData; const wchar_t* documents; DWORD code; std::wstring expected; } cases[] = {
        {alice.c_str(), nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, settings + L"\\All Users\\Desktop"},
        {alice.c_str(), nullptr, CSIDL_COMMON_DOCUMENTS, settings + L"\\All Users\\Documents"},
        {alice.c_str(), nullptr, CSIDL_LOCAL_APPDATA, settings + L"\\Alice\\Local Settings\\Application Data"},
        {alice.c_str(), nullptr, CSIDL_PROFILE, settings + L"\\Alice"},
        {alice.c_str(), nullptr, FOLDER_ALL_USERS_PROFILE, settings + L"\\All Users"},
        {alice.c_str(), nullptr, FOLDER_PROFILES_ROOT, settings},
        {L"C:\\AppData", nullptr, FOLDER_PROFILES_ROOT, L"<false>"},
        {alice.c_str(), nullptr, FOLDER_QUICK_LAUNCH, alice + L"\\Microsoft\\Internet Explorer\\Quick Launch"},
        // One backslash: too shallow for a profiles root, but enough for the profile itself.
        {L"C:\\AppData", nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, w_ + L"Profiles\\All Users\\Desktop"},
        {L"C:\\AppData", nullptr, CSIDL_PROFILE, L"C:"},
        {L"C:\\AppData", nullptr, CSIDL_LOCAL_APPDATA, L"C:\\Local Settings\\Application Data"},
        {L"C:\\AppData", nullptr, FOLDER_ALL_USERS_PROFILE, w_ + L"Profiles\\All Users"},
        // No backslash at all.
        {L"AppData", nullptr, CSIDL_PROFILE, L"c:\\"},
        {L"AppData", nullptr, CSIDL_LOCAL_APPDATA, w_ + L"Profiles\\Administrator\\Local Settings\\Application Data"},
        // The all-users profile is the parent of the all-users documents.
        {nullptr, L"D:\\Documents", FOLDER_ALL_USERS_PROFILE, L"D:\\"},
        {nullptr, L"C:\\Documents and Settings\\All Users\\Documents", FOLDER_ALL_USERS_PROFILE,
         L"C:\\Documents and Settings\\All Users"},
        {nullptr, L"Documents", FOLDER_ALL_USERS_PROFILE, L"c:\\"},
    };
    const std::vector<int> failing = {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_APPDATA, CSIDL_LOCAL_APPDATA,
                                      CSIDL_PROFILE};
    for (const Case& c : cases) {
        g_shellOverrides.clear();
        for (int csidl : failing) g_shellOverrides.push_back({ShellFolder(csidl), nullptr});
        g_shellOverrides.push_back({appData, c.appData});
        g_shellOverrides.push_back({documents, c.documents});
        EXPECT_EQ(Utf8(c.expected), Utf8(Resolve(c.code)))
            << std::hex << c.code << " appdata=" << Utf8(c.appData ? c.appData : L"-");
    }
}

TEST_F(FolderTest, ProgramFilesAndCommonFilesFromTheRegistry) {
    API_GUARD(RegQueryValueEx, FakeQueryValue);
    const std::wstring long259(259, L'p'), fitsCommon(259 - 13, L'p');
    struct Case { std::vector<FakeValue> values; std::wstring programFiles; std::wstring commonFiles; } cases[] = {
        {{{L"ProgramFilesDir", L"D:\\Apps", true}, {L"CommonFilesDir", L"D:\\Shared", true}}, L"D:\\Apps",
         L"D:\\Shared"},
        // No "CommonFilesDir": it is taken to lie in Program Files.
        {{{L"ProgramFilesDir", L"D:\\Apps", true}}, L"D:\\Apps", L"D:\\Apps\\Common Files"},
        {{{L"ProgramFilesDir", L"D:\\Apps\\", true}}, L"D:\\Apps\\", L"D:\\Apps\\Common Files"},
        {{}, L"<false>", L"<false>"},
        // Stored without a terminator: one is added while it fits.
        {{{L"ProgramFilesDir", L"D:\\Apps", false}}, L"D:\\Apps", L"D:\\Apps\\Common Files"},
        {{{L"ProgramFilesDir", long259, true}}, long259, L"<false>"},
        {{{L"ProgramFilesDir", long259, false}}, long259, L"<false>"},
        {{{L"ProgramFilesDir", long259 + L"q", false}}, L"<false>", L"<false>"},
        {{{L"ProgramFilesDir", long259 + L"q", true}}, L"<false>", L"<false>"},
        {{{L"ProgramFilesDir", L"", true}}, L"<false>", L"<false>"},
        // Common Files must fit with its own name appended: fits exactly, then one too long.
        {{{L"ProgramFilesDir", fitsCommon, true}}, fitsCommon, fitsCommon + L"\\Common Files"},
        {{{L"ProgramFilesDir", fitsCommon + L"p", true}}, fitsCommon + L"p", L"<false>"},
    };
    for (const Case& c : cases) {
        g_fakeValues = c.values;
        EXPECT_EQ(Utf8(c.programFiles), Utf8(Resolve(FOLDER_PROGRAM_FILES)));
        EXPECT_EQ(Utf8(c.commonFiles), Utf8(Resolve(FOLDER_COMMON_FILES)));
    }
}

TEST_F(FolderTest, CommonFilesFallsBackWhenOnlyItsValueFails) {
    // The real registry, with only the "CommonFilesDir" query made to fail.
    static decltype(Platform.ApiTable.RegQueryValueEx) real = Platform.ApiTable.RegQueryValueEx;
    struct Local {
        static LSTATUS WINAPI Query(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD cb) {
            if (name && wcscmp(name, L"CommonFilesDir") == 0) return ERROR_FILE_NOT_FOUND;
            return real(key, name, reserved, type, data, cb);
        }
    };
    API_GUARD(RegQueryValueEx, Local::Query);
    EXPECT_EQ(Utf8(ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Common Files"), Utf8(Resolve(FOLDER_COMMON_FILES)));
}

TEST_F(FolderTest, ComposedPathsThatDoNotFitFail) {
    API_GUARD(GetWindowsDirectory, FakeWindowsDirectory);
    API_GUARD(SHGetPathFromIDList, ShellPathFails);
    Platform.IsNT = false;
    // "\Application Data" adds 17 characters to the Windows directory.
    struct Case { size_t cchWindows; bool windowsFits; bool appDataFits; } cases[] = {
        {241, true, true}, {242, true, true}, {243, true, false}, {259, true, false}, {260, false, false},
    };
    for (const Case& c : cases) {
        FakeWindowsFolder = L"C:\\" + std::wstring(c.cchWindows - 3, L'w');
        std::wstring windows = Resolve(FOLDER_WINDOWS);
        std::wstring appData = Resolve(CSIDL_APPDATA);
        EXPECT_EQ(c.windowsFits ? Utf8(FakeWindowsFolder) : "<false>", Utf8(windows)) << c.cchWindows;
        EXPECT_EQ(c.appDataFits ? Utf8(FakeWindowsFolder + L"\\Application Data") : "<false>", Utf8(appData))
            << c.cchWindows;
    }
}

TEST_F(FolderTest, DirectoryCallsThatFailAreNotSuccesses) {
    {
        API_GUARD(GetWindowsDirectory, WindowsDirectoryFails);
        API_GUARD(SHGetPathFromIDList, ShellPathFails);
        EXPECT_EQ("<false>", Utf8(Resolve(FOLDER_WINDOWS)));
        Platform.IsNT = false;
        EXPECT_EQ("<false>", Utf8(Resolve(CSIDL_COMMON_DESKTOPDIRECTORY)));
        EXPECT_EQ("<false>", Utf8(Resolve(CSIDL_PROFILE)));
    }
    API_GUARD(GetTempPath, TempPathTooLong);
    EXPECT_EQ("<false>", Utf8(Resolve(FOLDER_TEMP)));
}

// --- macros ----------------------------------------------------------------------------------

// Expands as the entry sequence does: a length query, then a call with exactly n + 1.
std::wstring Expand(const std::wstring& text) {
    unsigned n = ExpandFolderMacros(nullptr, text.c_str(), kMacroWorkCapacity);
    std::vector<WCHAR> out(n + 2, L'?');
    EXPECT_EQ(n, ExpandFolderMacros(out.data(), text.c_str(), n + 1)) << Utf8(text);
    EXPECT_EQ(0, out[n]) << "terminator at n";
    EXPECT_EQ(L'?', out[n + 1]) << "written past the capacity";
    std::wstring result(out.data());
    EXPECT_EQ(n, result.size());
    return result;
}

TEST_F(FolderTest, MacroExpansion) {
    SetInstallDir(L"C:\\Apps\\Tool\\");
    const std::wstring programFiles = WithoutBackslash(ShellFolder(CSIDL_PROGRAM_FILES));
    struct Case { std::wstring text; std::wstring expected; } cases[] = {
        {L"#Windows#\\notepad.exe", windows_ + L"\\notepad.exe"},
        {L"#windows#\\notepad.exe", windows_ + L"\\notepad.exe"},
        {L"#WINDOWS#", windows_},
        {L"#Temp#", L"#Temp#"},
        {L"#Foo#", L"#Foo#"},
        {L"a#b", L"a#b"},
        {L"#Windows", L"#Windows"},
        {L"x#y#z#Windows#", L"x#y#z" + windows_},
        {L"##Windows#", L"##Windows#"},
        {L"#InstallDir#", L"C:\\Apps\\Tool"},
        {L"#installdir#\\run.exe /x", L"C:\\Apps\\Tool\\run.exe /x"},
        {L"\"#Program Files#\\App\\setup.exe\" /u", L"\"" + programFiles + L"\\App\\setup.exe\" /u"},
        {L"#ProgramFiles#", L"#ProgramFiles#"},
        {L"#Common Files#", L"#Common Files#"},
        {L"#System##Windows#", WithoutBackslash(Resolve(FOLDER_SYSTEM)) + windows_},
        {L"#Windows# #Windows#", windows_ + L" " + windows_},
        {L"#Programs#\\V", SystemPath(CSIDL_PROGRAMS) + L"\\V"},
        {L"#commonprograms#", SystemPath(CSIDL_COMMON_PROGRAMS)},
        {L"#StartMenu#", SystemPath(CSIDL_STARTMENU)},
        {L"#CommonStartMenu#", SystemPath(CSIDL_COMMON_STARTMENU)},
        {L"#Startup#", SystemPath(CSIDL_STARTUP)},
        {L"#CommonStartup#", SystemPath(CSIDL_COMMON_STARTUP)},
        {L"#CommonDesktop#", SystemPath(CSIDL_COMMON_DESKTOPDIRECTORY)},
        {L"#FONTS#\\a.ttf", SystemPath(CSIDL_FONTS) + L"\\a.ttf"},
        {L"#CommonAppData#", SystemPath(CSIDL_COMMON_APPDATA)},
        {L"#CommonDocuments#", SystemPath(CSIDL_COMMON_DOCUMENTS)},
        {L"#QuickLaunch#", SystemPath(CSIDL_APPDATA) + L"\\Microsoft\\Internet Explorer\\Quick Launch"},
        {L"", L""},
        {L"#", L"#"},
        {L"##", L"##"},
        {L"plain text", L"plain text"},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8(c.expected), Utf8(Expand(c.text))) << Utf8(c.text);

    // Every macro of the table gives its folder, without a trailing backslash.
    const char* name = kFolderMacroNames;
    for (int i = 0; i < kInstallDirMacro; ++i, name = strchr(name + 1, '#')) {
        const std::wstring macro(name, static_cast<const char*>(strchr(name + 1, '#')) + 1);
        EXPECT_EQ(Utf8(WithoutBackslash(Resolve(FolderMacroCode(i)))), Utf8(Expand(macro))) << Utf8(macro);
    }

    SetInstallDir(L"D:\\");
    EXPECT_EQ("D:\\", Utf8(Expand(L"#InstallDir#")));
    EXPECT_EQ("D:\\setup.exe", Utf8(Expand(L"#InstallDir#setup.exe")));
}

TEST_F(FolderTest, MacroWhoseFolderDoesNotResolveStaysAsWritten) {
    API_GUARD(SHGetPathFromIDList, ShellPathFails);
    EXPECT_EQ("#Desktop#\\a.lnk", Utf8(Expand(L"#Desktop#\\a.lnk")));
    EXPECT_EQ("#MyDocuments#", Utf8(Expand(L"#MyDocuments#")));
}

TEST_F(FolderTest, SmallerCapacityGetsATerminatedPrefix) {
    const std::wstring text = L"#Windows#\\notepad.exe";
    const std::wstring full = Expand(text);
    const unsigned n = static_cast<unsigned>(full.size());
    for (size_t capacity : {size_t(1), size_t(5), size_t(n)}) {
        std::vector<WCHAR> out(capacity + 1, L'?');
        EXPECT_EQ(n, ExpandFolderMacros(out.data(), text.c_str(), capacity));
        EXPECT_EQ(0, out[capacity - 1]) << capacity;
        EXPECT_EQ(L'?', out[capacity]) << capacity;
        EXPECT_EQ(Utf8(full.substr(0, capacity - 1)), Utf8(out.data())) << capacity;
    }
    WCHAR untouched = L'?';
    EXPECT_EQ(n, ExpandFolderMacros(&untouched, text.c_str(), 0));
    EXPECT_EQ(L'?', untouched);
}

TEST_F(FolderTest, ExpansionNeverLeavesTheWorkBuffer) {
    const size_t room = kMacroWorkCapacity - 1;  // characters before the terminator
    // Plain text: fits, fits exactly, one too long (the piece that does not fit ends it).
    EXPECT_EQ(room - 1, Expand(std::wstring(room - 1, L'a')).size());
    EXPECT_EQ(room, Expand(std::wstring(room, L'a')).size());
    EXPECT_EQ(0u, Expand(std::wstring(room + 1, L'a')).size());
    // A macro at the end: its expansion fits exactly, or is left out when one too long.
    std::wstring exact = std::wstring(room - windows_.size(), L'a') + L"#Windows#";
    EXPECT_EQ(Utf8(std::wstring(room - windows_.size(), L'a') + windows_), Utf8(Expand(exact)));
    std::wstring over = std::wstring(room - windows_.size() + 1, L'a') + L"#Windows#";
    EXPECT_EQ(Utf8(std::wstring(room - windows_.size() + 1, L'a')), Utf8(Expand(over)));
    // Many macros: the output stops after a whole piece, as close to the end as they allow.
    std::wstring many;
    for (size_t i = 0; i < room / (windows_.size() + 1) + 2; ++i) many += L"#Windows#;";
    std::wstring result = Expand(many);
    EXPECT_LE(result.size(), room);
    EXPECT_GT(result.size(), room - (windows_.size() + 1));
    size_t tail = result.size() % (windows_.size() + 1);
    EXPECT_TRUE(tail == 0 || tail == windows_.size()) << "ends inside a piece: " << tail;
}

TEST_F(FolderTest, TokenExpansionRespectsItsRoom) {
    for (size_t room : {windows_.size() + 2, windows_.size() + 1, windows_.size()}) {
        std::vector<WCHAR> token(room + 1, L'?');
        wcscpy(token.data(), L"#Windows#");
        bool fits = room > windows_.size();
        EXPECT_EQ(fits, ExpandMacroToken(token.data(), room)) << room;
        EXPECT_EQ(Utf8(fits ? windows_ : L"#Windows#"), Utf8(token.data())) << room;
        EXPECT_EQ(L'?', token[room]);
    }
    WCHAR unknown[] = L"#Nothing#";
    EXPECT_TRUE(ExpandMacroToken(unknown, ARRAYSIZE(unknown)));
    EXPECT_EQ("#Nothing#", Utf8(unknown));
}

TEST(FolderMacroFallback, TextPassesThroughTerminated) {
    const std::wstring text = L"#Windows#\\x";  // 11 characters
    struct Case { size_t capacity; unsigned result; std::wstring out; } cases[] = {
        {20, 11, text}, {12, 11, text}, {11, 11, text.substr(0, 10)}, {4, 4, text.substr(0, 3)}, {1, 1, L""},
    };
    for (const Case& c : cases) {
        std::vector<WCHAR> out(c.capacity + 1, L'?');
        EXPECT_EQ(c.result, CopyTextUnexpanded(out.data(), text.c_str(), c.capacity)) << c.capacity;
        EXPECT_EQ(Utf8(c.out), Utf8(out.data())) << c.capacity;
        for (size_t i = c.out.size(); i < c.capacity; ++i) EXPECT_EQ(0, out[i]) << "zero fill at " << i;
        EXPECT_EQ(L'?', out[c.capacity]);
    }
    EXPECT_EQ(11u, CopyTextUnexpanded(nullptr, text.c_str(), kMacroWorkCapacity));
}

}  // namespace
