// File and folder primitives: backslash forms and the bounded path helpers, the error mapping,
// access and attribute changes, deletion, the protected-folder test and the in-use test
// against files held open by another process (tests/helpers/hold_file.cpp).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cwchar>
#include <string>
#include <vector>

#include "data/path_buffer.h"
#include "folders/protected_folders.h"
#include "platform/api_table.h"
#include "platform/wow64.h"
#include "removal/primitives.h"
#include "support/api_guard.h"
#include "support/program_test.h"
#include "support/uninst_runner.h"

namespace {

// Toggles the case of every ASCII letter.
std::wstring OtherCase(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
        else if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    }
    return text;
}

std::wstring WithBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

bool IsReadOnly(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// --- fakes -----------------------------------------------------------------------------------

// The three calls the primitives make on a file, each failing with g_error.
DWORD g_error = 0;
BOOL WINAPI DeleteFails(LPCWSTR) {
    SetLastError(g_error);
    return FALSE;
}
DWORD WINAPI GetAttributesFails(LPCWSTR) {
    SetLastError(g_error);
    return INVALID_FILE_ATTRIBUTES;
}
int g_attributeWrites = 0;
BOOL WINAPI SetAttributesFails(LPCWSTR, DWORD) {
    ++g_attributeWrites;
    SetLastError(g_error);
    return FALSE;
}

int g_attributeReads = 0;
DWORD WINAPI CountingGetAttributes(LPCWSTR path) {
    ++g_attributeReads;
    return GetFileAttributesW(path);
}


// --- fixture ---------------------------------------------------------------------------------

// Each test gets a folder of its own.
class PrimitivesTest : public ProgramTest {
protected:
    TempFolder dir_;
};

// --- paths -----------------------------------------------------------------------------------

TEST(PathForms, StripAndAppendBackslash) {
    struct Case { const wchar_t* in; const wchar_t* stripped; const wchar_t* appended; } cases[] = {
        {L"C:\\", L"C:\\", L"C:\\"},          {L"C:\\A\\", L"C:\\A", L"C:\\A\\"}, {L"C:\\A", L"C:\\A", L"C:\\A\\"},
        {L"", L"", L""},                      {L"C:", L"C:", L"C:\\"},            {L"\\\\", L"\\\\", L"\\\\"},
        {L"C:\\A\\\\", L"C:\\A\\", L"C:\\A\\\\"},
    };
    for (const Case& c : cases) {
        WCHAR path[MAX_PATH];
        wcscpy(path, c.in);
        EXPECT_EQ(wcslen(c.in), StripBackslash(path));
        EXPECT_EQ(Utf8(c.stripped), Utf8(path)) << Utf8(c.in);
        wcscpy(path, c.in);
        EXPECT_TRUE(AppendBackslash(path));
        EXPECT_EQ(Utf8(c.appended), Utf8(path)) << Utf8(c.in);
    }
}

TEST(PathForms, AppendBackslashIntoAFullBufferIsRefused) {
    // Capacity 8: seven characters and the terminator.
    struct Case { const wchar_t* in; bool fits; } cases[] = {
        {L"C:\\abc", true}, {L"C:\\abcd", false}, {L"C:\\abc\\", true}};
    for (const Case& c : cases) {
        WCHAR path[9];
        wcscpy(path, c.in);
        path[8] = L'?';
        EXPECT_EQ(c.fits, AppendBackslash(path, 8)) << Utf8(c.in);
        EXPECT_EQ(Utf8(c.fits ? WithBackslash(c.in) : std::wstring(c.in)), Utf8(path));
        EXPECT_EQ(L'?', path[8]);
    }
}

TEST(PathForms, BoundedCopyAppendAndJoin) {
    // Capacity 6: five characters and the terminator. Each helper writes all or nothing.
    // CopyPath(text), AppendPath(start, text) and JoinPath(start, text), each null when refused.
    struct Case { const wchar_t *start, *text, *copied, *appended, *joined; } cases[] = {
        {L"ab", L"cd", L"cd", L"abcd", L"ab\\cd"},     // fits
        {L"ab", L"cde", L"cde", L"abcde", nullptr},    // appended fits exactly, joined one too long
        {L"ab", L"cdef", L"cdef", nullptr, nullptr},   // one too long
        {L"", L"abcde", L"abcde", L"abcde", L"abcde"},  // nothing to join to: no backslash
        {L"", L"abcdef", nullptr, nullptr, nullptr},
        {L"ab\\", L"cd", L"cd", L"ab\\cd", L"ab\\cd"},
    };
    for (const Case& c : cases) {
        WCHAR buffer[7];
        buffer[6] = L'?';
        wcscpy(buffer, L"old");
        EXPECT_EQ(c.copied != nullptr, CopyPath(buffer, 6, c.text));
        EXPECT_EQ(Utf8(c.copied ? c.copied : L"old"), Utf8(buffer));
        wcscpy(buffer, c.start);
        EXPECT_EQ(c.appended != nullptr, AppendPath(buffer, 6, c.text));
        EXPECT_EQ(Utf8(c.appended ? c.appended : c.start), Utf8(buffer));
        wcscpy(buffer, c.start);
        EXPECT_EQ(c.joined != nullptr, JoinPath(buffer, 6, c.text)) << Utf8(c.start) << "+" << Utf8(c.text);
        EXPECT_EQ(Utf8(c.joined ? c.joined : c.start), Utf8(buffer));
        EXPECT_EQ(L'?', buffer[6]);
    }
}

TEST_F(PrimitivesTest, CurrentDirectory) {
    WCHAR saved[MAX_PATH];
    DWORD cchSaved = GetCurrentDir(saved);
    ASSERT_GT(cchSaved, 0u);
    ASSERT_LT(cchSaved, MAX_PATH);
    ASSERT_TRUE(ChangeDirectory(dir_.Path().c_str()));
    WCHAR now[MAX_PATH];
    EXPECT_EQ(dir_.Path().size(), GetCurrentDir(now));
    EXPECT_EQ(Utf8(dir_.Path()), Utf8(now));
    EXPECT_FALSE(ChangeDirectory(dir_.Join(L"missing").c_str()));
    EXPECT_EQ(dir_.Path().size(), GetCurrentDir(now));
    EXPECT_EQ(Utf8(dir_.Path()), Utf8(now));
    // Too small: the size it would need, terminator included.
    WCHAR small[4] = L"xyz";
    EXPECT_EQ(dir_.Path().size() + 1, GetCurrentDir(small, 4));
    ASSERT_TRUE(ChangeDirectory(saved));
}

TEST_F(PrimitivesTest, RemoveDirRemovesOnlyEmptyFolders) {
    std::wstring empty = dir_.MakeFolder(L"empty");
    std::wstring full = dir_.MakeFolder(L"full");
    ASSERT_TRUE(MakeFile(full + L"\\f.txt"));
    EXPECT_TRUE(RemoveDir(empty.c_str()));
    EXPECT_FALSE(Exists(empty));
    EXPECT_FALSE(RemoveDir(full.c_str()));
    EXPECT_TRUE(Exists(full + L"\\f.txt"));
    EXPECT_FALSE(RemoveDir(empty.c_str()));
}

// --- results ---------------------------------------------------------------------------------

// What a primitive tells the passes when its system call fails, the same whichever call failed:
// the file is gone (nothing left to do), it may not be changed by us, or anything else, a file
// in use among them (in use is not forbidden).
TEST_F(PrimitivesTest, AFailedCallMeansGoneDeniedOrOther) {
    const std::wstring file = dir_.Join(L"file.txt");
    ASSERT_TRUE(MakeFile(file));
    const struct { FileResult result; std::vector<DWORD> errors; } outcomes[] = {
        // Already removed, its folder or share gone, or a name that cannot exist.
        {FileNotFound, {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_BAD_NETPATH, ERROR_FILENAME_EXCED_RANGE}},
        // No rights, a region another program locked, a share or drive that refuses the change.
        {FileAccessDenied, {ERROR_ACCESS_DENIED, ERROR_LOCK_VIOLATION, ERROR_NETWORK_ACCESS_DENIED, ERROR_DRIVE_LOCKED}},
        // Open in another program, and whatever the primitives do not name.
        {FileOtherError, {ERROR_SHARING_VIOLATION, ERROR_WRITE_PROTECT, ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_PARAMETER, 0}},
    };
    for (const auto& outcome : outcomes) {
        for (DWORD error : outcome.errors) {
            SCOPED_TRACE(testing::Message() << "error " << error);
            g_error = error;
            {
                API_GUARD(DeleteFile, DeleteFails);
                EXPECT_EQ(outcome.result, RemoveFile(file.c_str()));
            }
            {
                API_GUARD(SetFileAttributes, SetAttributesFails);
                EXPECT_EQ(outcome.result, SetFileMode(file.c_str(), 4));
            }
            API_GUARD(GetFileAttributes, GetAttributesFails);
            EXPECT_EQ(outcome.result, CheckAccess(file.c_str(), 2));
            EXPECT_EQ(outcome.result, SetFileMode(file.c_str(), 2));
        }
    }
}

TEST_F(PrimitivesTest, CheckAccessAndSetFileMode) {
    std::wstring plain = dir_.Join(L"plain.txt");
    std::wstring readOnly = dir_.Join(L"readonly.txt");
    std::wstring folder = dir_.MakeFolder(L"folder");
    ASSERT_TRUE(MakeFile(plain));
    ASSERT_TRUE(MakeFile(readOnly, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY));
    struct Case { std::wstring path; int mode; FileResult result; } cases[] = {
        {plain, 2, FileOk},
        {plain, 0, FileOk},
        {readOnly, 2, FileAccessDenied},
        {readOnly, 6, FileAccessDenied},
        {readOnly, 4, FileOk},
        {readOnly, 0, FileOk},
        {folder, 2, FileOk},
        {dir_.Join(L"missing.txt"), 2, FileNotFound},
        {dir_.Join(L"missing\\x.txt"), 2, FileNotFound},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, CheckAccess(c.path.c_str(), c.mode)) << Utf8(c.path) << " " << c.mode;

    // A bad argument is refused before the disk is asked.
    {
        API_GUARD(GetFileAttributes, CountingGetAttributes);
        g_attributeReads = 0;
        for (int mode : {1, 3, 8, 0x10, -1}) EXPECT_EQ(FileBadArgument, CheckAccess(plain.c_str(), mode)) << mode;
        EXPECT_EQ(FileBadArgument, CheckAccess(nullptr, 2));
        EXPECT_EQ(FileBadArgument, SetFileMode(nullptr, 2));
        EXPECT_EQ(FileBadArgument, RemoveFile(nullptr));
        EXPECT_EQ(0, g_attributeReads);
    }

    // Writable and back, other attribute bits kept.
    EXPECT_EQ(FileOk, SetFileMode(readOnly.c_str(), 6));
    EXPECT_EQ(FILE_ATTRIBUTE_HIDDEN, GetFileAttributesW(readOnly.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(FileOk, CheckAccess(readOnly.c_str(), 2));
    EXPECT_EQ(FileOk, SetFileMode(readOnly.c_str(), 4));
    EXPECT_EQ(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY,
              GetFileAttributesW(readOnly.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(FileOk, SetFileMode(readOnly.c_str(), 2));
    EXPECT_FALSE(IsReadOnly(readOnly));
    EXPECT_EQ(FileNotFound, SetFileMode(dir_.Join(L"missing.txt").c_str(), 2));
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(PrimitivesTest, RemoveFileResults) {
    std::wstring plain = dir_.Join(L"plain.txt");
    std::wstring readOnly = dir_.Join(L"readonly.txt");
    std::wstring held = dir_.Join(L"held.txt");
    ASSERT_TRUE(MakeFile(plain));
    ASSERT_TRUE(MakeFile(readOnly, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(held));

    EXPECT_EQ(FileOk, RemoveFile(plain.c_str()));
    EXPECT_FALSE(Exists(plain));
    EXPECT_EQ(FileNotFound, RemoveFile(plain.c_str()));
    EXPECT_EQ(FileNotFound, RemoveFile(dir_.Join(L"missing\\x.txt").c_str()));

    EXPECT_EQ(FileAccessDenied, RemoveFile(readOnly.c_str()));
    EXPECT_TRUE(IsReadOnly(readOnly)) << "attributes are not touched";

    {
        HeldFile holder;
        ASSERT_TRUE(holder.Hold(held));
        EXPECT_EQ(FileOtherError, RemoveFile(held.c_str())) << "a sharing violation is not a denial";
        EXPECT_TRUE(Exists(held));
    }
    EXPECT_EQ(FileOk, RemoveFile(held.c_str()));
}

// --- protected folders -----------------------------------------------------------------------

TEST_F(PrimitivesTest, DriveRootsAreProtected) {
    for (const wchar_t* path : {L"C:\\", L"C:", L"D:\\", L"D:", L"z:\\", L"\\", L"", L"\\\\"})
        EXPECT_TRUE(IsProtectedFolder(path)) << Utf8(path);
    EXPECT_TRUE(IsProtectedFolder(nullptr));
}

TEST_F(PrimitivesTest, EveryProtectedFolderInEveryForm) {
    // Each call resolves every folder of the list through the shell, which is slow under emulation, so
    // every folder is tried in two forms that between them cover both backslash forms and
    // both letter cases; two folders (one that resolves with a backslash) get every form.
    int resolved = 0;
    for (int i = 0; i < ProtectedFolderCount; ++i) {
        std::wstring folder = Resolve(ProtectedFolderList[i]);
        if (folder.empty()) continue;
        ++resolved;
        for (const std::wstring& form : {OtherCase(WithBackslash(folder)), WithoutBackslash(folder)})
            EXPECT_TRUE(IsProtectedFolder(form.c_str())) << i << ": " << Utf8(form);
    }
    // The three native folders resolve only under WOW64.
    EXPECT_EQ(ProtectedFolderCount - (RunsUnderWow64() ? 0 : 3), resolved) << "every folder resolves under this system";
    for (DWORD code : {FOLDER_PROGRAM_FILES, FOLDER_TEMP}) {
        std::wstring folder = Resolve(code);
        for (const std::wstring& form : {folder, WithBackslash(folder), WithoutBackslash(folder), OtherCase(folder),
                                         OtherCase(WithoutBackslash(folder))})
            EXPECT_TRUE(IsProtectedFolder(form.c_str())) << Utf8(form);
        // A folder inside it is not protected.
        std::wstring inside = WithBackslash(folder) + L"Vendor App";
        EXPECT_FALSE(IsProtectedFolder(inside.c_str())) << Utf8(inside);
        EXPECT_FALSE(IsProtectedFolder((inside + L"\\").c_str())) << Utf8(inside);
    }
}

std::wstring Slashed(std::wstring path) {
    for (wchar_t& c : path) c = c == L'\\' ? L'/' : c;
    return path;
}

// The folder through Wine's Z: drive, which maps the Unix root: an alias of the C: drive, as a
// substituted drive or a junction is on Windows. The folder itself where there is no such drive.
std::wstring WineAlias(const std::wstring& path) {
    typedef char*(CDECL * UnixName)(const WCHAR*);
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    char* name = proc ? reinterpret_cast<UnixName>(reinterpret_cast<void*>(proc))(path.c_str()) : nullptr;
    if (!name) return path;
    std::wstring alias = L"Z:";
    for (const char* c = name; *c; ++c) alias += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    HeapFree(GetProcessHeap(), 0, name);
    return alias;
}

// Every spelling that names a protected folder is protected, every one that names another folder
// is not. The profiles root, every profile in it and every folder directly in a profile are
// protected, another user's too, whether they exist or not, and nothing deeper.
TEST_F(PrimitivesTest, EverySpellingOfAProtectedFolderIsProtected) {
    const std::wstring windows = WithoutBackslash(Resolve(FOLDER_WINDOWS));
    const std::wstring documents = WithoutBackslash(Resolve(CSIDL_COMMON_DOCUMENTS));
    const std::wstring fonts = WithoutBackslash(Resolve(CSIDL_FONTS));
    const std::wstring programFiles = WithoutBackslash(Resolve(FOLDER_PROGRAM_FILES));
    const std::wstring profile = WithoutBackslash(Resolve(CSIDL_PROFILE));
    const std::wstring profiles = profile.substr(0, profile.rfind(L'\\')), other = profiles + L"\\acme-other-user";
    WCHAR shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(programFiles.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(Utf8(programFiles), Utf8(OtherCase(shortName))) << "no distinct short name to test";
    const std::pair<std::wstring, bool> rows[] = {
        {documents + L".", true}, {documents + L" ", true}, {documents + L". .", true},
        {Slashed(documents) + L"/", true}, {OtherCase(documents), true}, {windows + L"\\System32\\..", true},
        {windows + L"\\System32\\..\\Fonts.", true}, {windows + L"\\.", true}, {windows + L"\\\\", true},
        {L"Fonts.", true}, {L".", true},  // from the current directory, the Windows directory
        {L"\\\\?\\" + documents, true}, {L"\\\\?\\" + documents + L".", true}, {L"\\??\\" + fonts, true},
        {L"\\\\.\\" + fonts + L"\\", true}, {shortName, true}, {OtherCase(shortName) + L"\\", true},
        {WineAlias(documents), true}, {windows + L"\\..", true}, {programFiles + L"\\No Vendor\\..", true},
        {profiles + L"\\.", true}, {other, true}, {other + L"\\Saved Games.", true}, {profile + L"\\Links", true},
        {Slashed(profiles) + L"/Public/Downloads", true},
        {documents + L"\\Acme Notes.", false}, {documents + L"\\Acme\\..\\Acme Tools", false},
        {programFiles + L"2", false}, {L"\\\\?\\" + fonts + L"\\Acme", false}, {Slashed(dir_.Path()) + L"/", false},
        {programFiles + L"\\No Vendor.", false}, {other + L"\\AppData\\Local\\Acme", false},
        {other + L"\\Favorites\\Acme", false}, {profile + L"\\Downloads\\Acme Setup", false}, {L"C:\\Acme\\Bin", false},
    };
    ScopedCurrentDirectory inWindows(windows);
    ASSERT_TRUE(inWindows.Changed());
    for (const auto& row : rows) EXPECT_EQ(row.second, IsProtectedFolder(row.first.c_str())) << Utf8(row.first);
}

DWORD WINAPI FullPathFails(LPCWSTR, DWORD, LPWSTR, LPWSTR*) { return 0; }
HANDLE WINAPI OpenFails(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return INVALID_HANDLE_VALUE;
}

// Without a full path nothing is removed; without the identity the text still decides, and an
// ordinary folder is not protected. Where the profile is the Windows directory (the 9x family
// without profiles) no rule protects the folders near the top of the drive.
TEST_F(PrimitivesTest, WhenAStepOfTheComparisonFails) {
    const std::wstring documents = WithoutBackslash(Resolve(CSIDL_COMMON_DOCUMENTS));
    ASSERT_TRUE(IsProtectedFolder(documents.c_str()));  // the cache is filled with the real calls
    WCHAR shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(WithoutBackslash(Resolve(FOLDER_PROGRAM_FILES)).c_str(), shortName, MAX_PATH), 0u);
    {
        API_GUARD(GetFullPathName, FullPathFails);
        EXPECT_TRUE(IsProtectedFolder(dir_.Path().c_str()));
    }
    {
        API_GUARD(CreateFile, OpenFails);
        EXPECT_TRUE(IsProtectedFolder((documents + L".").c_str()));
        EXPECT_TRUE(IsProtectedFolder(shortName)) << "the short spelling, by text alone";
        EXPECT_FALSE(IsProtectedFolder(dir_.Path().c_str()));
    }
    Platform.IsNT = false;
    API_GUARD(SHGetPathFromIDList, ShellPathFails);
    for (const wchar_t* path : {L"C:\\Acme", L"C:\\Acme\\Bin"}) EXPECT_FALSE(IsProtectedFolder(path)) << Utf8(path);
}

TEST_F(PrimitivesTest, CaseFoldingIsAsciiOnly) {
    API_GUARD(GetWindowsDirectory, FakeWindowsDirectory);
    FakeWindowsFolder = L"C:\\W\x00ED" L"ndows";  // an accented i
    EXPECT_TRUE(IsProtectedFolder(L"C:\\W\x00ED" L"ndows"));
    EXPECT_TRUE(IsProtectedFolder(L"c:\\w\x00ED" L"NDOWS\\"));
    EXPECT_FALSE(IsProtectedFolder(L"C:\\W\x00CD" L"ndows")) << "capital accented I is another name here";
}

// --- in-use test -----------------------------------------------------------------------------

TEST_F(PrimitivesTest, IsFileLocked) {
    std::wstring plain = dir_.Join(L"plain.txt");
    std::wstring readOnly = dir_.Join(L"readonly.txt");
    std::wstring held = dir_.Join(L"held.txt");
    std::wstring heldReadOnly = dir_.Join(L"held-readonly.txt");
    std::wstring folder = dir_.MakeFolder(L"folder");
    ASSERT_TRUE(MakeFile(plain));
    ASSERT_TRUE(MakeFile(readOnly, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(held));
    ASSERT_TRUE(MakeFile(heldReadOnly, FILE_ATTRIBUTE_READONLY));

    EXPECT_FALSE(IsFileLocked(plain.c_str()));
    EXPECT_FALSE(IsFileLocked(readOnly.c_str()));
    EXPECT_TRUE(IsReadOnly(readOnly)) << "made read-only again";
    EXPECT_FALSE(IsFileLocked(dir_.Join(L"missing.txt").c_str()));
    EXPECT_FALSE(IsFileLocked(dir_.Join(L"missing\\x.txt").c_str()));
    EXPECT_TRUE(IsFileLocked(folder.c_str()));
    {
        HeldFile holdPlain, holdReadOnly;
        ASSERT_TRUE(holdPlain.Hold(held));
        ASSERT_TRUE(holdReadOnly.Hold(heldReadOnly));
        EXPECT_TRUE(IsFileLocked(held.c_str()));
        EXPECT_TRUE(IsFileLocked(heldReadOnly.c_str()));
        EXPECT_TRUE(IsReadOnly(heldReadOnly)) << "made read-only again";
    }
    EXPECT_FALSE(IsFileLocked(held.c_str())) << "free again once the holder ends";
    EXPECT_FALSE(IsFileLocked(heldReadOnly.c_str()));
    EXPECT_TRUE(IsReadOnly(heldReadOnly));

    // A read-only file that cannot be made writable counts as locked, and nothing is restored.
    API_GUARD(SetFileAttributes, SetAttributesFails);
    g_error = ERROR_ACCESS_DENIED;
    g_attributeWrites = 0;
    EXPECT_TRUE(IsFileLocked(readOnly.c_str()));
    EXPECT_EQ(1, g_attributeWrites);
    EXPECT_TRUE(IsReadOnly(readOnly));
}

}  // namespace
