// End-to-end removal scenarios: realistic installations of two products laid into the prefix by
// the test, then the real uninst.exe run over one of them. Listings of drive_c and of the
// registry taken before and after show that exactly the installation went: nothing of the other
// product, of the system, or of a protected folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "folders/protected_folders.h"
#include "support/uninst_runner.h"
#include "support/window_driver.h"

using uninstpack::FileRecord;
using uninstpack::RegistryRecord;
using uninstpack::ShortcutRecord;

namespace {

const uint32_t kHKCR = 0x80000000, kHKCU = 0x80000001, kHKLM = 0x80000002;
const wchar_t kSharedDlls[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
// Controls of the read-only prompt and the progress dialog.
const int kYesToAllButton = 1001, kTextControl = 1000;

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
    return text;
}

HKEY RootKey(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

std::wstring TempRoot() {
    WCHAR temp[MAX_PATH + 1], longTemp[MAX_PATH * 2];
    GetTempPathW(ARRAYSIZE(temp), temp);
    std::wstring root = GetLongPathNameW(temp, longTemp, ARRAYSIZE(longTemp)) ? longTemp : temp;
    while (!root.empty() && root.back() == L'\\') root.pop_back();
    return root;
}

// ---- Listings ---------------------------------------------------------------------------------

// One entry per file, folder, key and value: its path, and what it is or holds. Files are
// keyed by their lower-cased path, as the file system compares them.
using Listing = std::map<std::string, std::string>;

std::string FileEntryText(DWORD attributes, DWORD size) {
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "folder " + std::to_string(attributes & kept);
    return "file " + std::to_string(size) + " " + std::to_string(attributes & kept);
}

// Folders left out of the walk: the temp folders are every process's scratch space. Wine and
// its programs write there, this test saves its registry branches there, and the self-removal
// copy of a confirmed run stays there until the next restart, as intended.
bool SkippedFolder(const std::string& lowerPath) {
    static const std::string temp = "f " + Utf8(Lower(TempRoot()));
    static const std::string windowsTemp = "f c:\\windows\\temp";
    return lowerPath == temp || lowerPath == windowsTemp;
}

void ListFolder(const std::wstring& path, Listing& out) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L"..")) continue;
        std::wstring child = path + L"\\" + found.cFileName;
        std::string key = "f " + Utf8(Lower(child));
        out[key] = FileEntryText(found.dwFileAttributes, found.nFileSizeLow);
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (isFolder && !isLink && !SkippedFolder(key)) ListFolder(child, out);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

bool EnableBackupPrivilege() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

// Reads a registry branch by having the server write it out whole (RegSaveKey): walking the
// 26,000 entries of HKLM\Software key by key took about three minutes in the test machine,
// the saved branch takes about two seconds. Wine writes its own text format: "[key] stamp",
// "#time=" lines, then one "name"=data line per value (hex data continued over lines ending
// in a backslash). A key is written when it has values or no subkeys; the stamps and times
// change with every write to a key and are left out.
void ListBranch(HKEY root, const wchar_t* subkey, const std::string& label, Listing& out) {
    static bool privileged = EnableBackupPrivilege();
    ASSERT_TRUE(privileged) << "cannot enable the backup privilege that RegSaveKey needs";
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(root, subkey, 0, KEY_READ, &key)) << label;
    std::wstring file = TempRoot() + L"\\scenario-branch-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(file.c_str());
    LONG saved = RegSaveKeyW(key, file.c_str(), nullptr);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, saved) << label;
    uninstpack::Bytes bytes = ReadFileBytes(file);
    DeleteFileW(file.c_str());
    std::string text(bytes.begin(), bytes.end());

    std::string current;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && line.back() == '\\' && at < text.size()) {  // continued hex data
            end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            std::string next = text.substr(at, end - at);
            line.pop_back();
            line += next.substr(next.find_first_not_of(' ') == std::string::npos ? 0 : next.find_first_not_of(' '));
            at = end + 1;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == ';' || line.compare(0, 5, "WINE ") == 0) continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            current = label + "\\" + line.substr(1, (close == std::string::npos ? line.size() : close) - 1);
            out["k " + current] = "key";
            continue;
        }
        // "name"=data or @=data; the name ends at the first unescaped quote.
        size_t nameEnd = 1;
        if (line[0] == '"') {
            while (nameEnd < line.size() && line[nameEnd] != '"') nameEnd += line[nameEnd] == '\\' ? 2 : 1;
            ++nameEnd;
        }
        nameEnd = std::min(nameEnd, line.size());
        out["v " + current + " " + line.substr(0, nameEnd)] = line.substr(std::min(nameEnd + 1, line.size()));
    }
}

// drive_c, and the registry: HKLM\Software and HKCU\Software whole (they hold the SharedDLLs,
// Run, App Paths and Uninstall keys, and the two halves of HKCR: Wine saves HKCR as
// Machine\Software\Classes, seen in the saved file's header, and the user's classes live in
// HKCU\Software\Classes).
Listing TakeListing() {
    Listing out;
    DWORD start = GetTickCount();
    ListFolder(L"C:", out);
    DWORD files = GetTickCount();
    ListBranch(HKEY_LOCAL_MACHINE, L"Software", "HKLM\\Software", out);
    ListBranch(HKEY_CURRENT_USER, L"Software", "HKCU\\Software", out);
    // Kept in the test's output: a listing that grows slow shows here first.
    fprintf(stderr, "listing: %u entries; drive_c %lu ms, registry %lu ms\n", (unsigned)out.size(),
            (unsigned long)(files - start), (unsigned long)(GetTickCount() - files));
    return out;
}

// Empty when equal; otherwise the differences, at most 40 lines of them.
std::string Differences(const Listing& expected, const Listing& actual) {
    std::string out;
    int lines = 0;
    auto add = [&](const std::string& line) {
        if (lines++ < 40) out += line + "\n";
    };
    for (const auto& entry : expected) {
        auto found = actual.find(entry.first);
        if (found == actual.end())
            add("missing: " + entry.first + " = " + entry.second);
        else if (found->second != entry.second)
            add("changed: " + entry.first + " = " + entry.second + " -> " + found->second);
    }
    for (const auto& entry : actual)
        if (!expected.count(entry.first)) add("unexpected: " + entry.first + " = " + entry.second);
    if (lines > 40) out += std::to_string(lines - 40) + " more\n";
    return out;
}

// Adds what `path` now is (a file or folder) to a listing of expectations.
void ExpectPath(Listing& listing, const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) << Utf8(path);
    listing["f " + Utf8(Lower(path))] = FileEntryText(data.dwFileAttributes, data.nFileSizeLow);
}

// ---- Laying an installation -------------------------------------------------------------------

// What the test put into the prefix, undone in reverse order when the test ends, so a failed
// test leaves the prefix as it found it. Only what the test itself created is ever removed.
class Journal {
public:
    ~Journal() { Undo(); }
    void Add(std::function<void()> undo) { undo_.push_back(undo); }
    void Undo() {
        while (!undo_.empty()) {
            undo_.back()();
            undo_.pop_back();
        }
    }

private:
    std::vector<std::function<void()>> undo_;
};

struct ShellFolders {
    std::wstring programFiles, commonFiles, system, commonPrograms, userPrograms, commonDesktop, userDesktop,
        startup;
};

std::wstring ShellFolder(int csidl) {
    WCHAR path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) {
        ADD_FAILURE() << "no shell folder " << csidl;
        return L"C:\\missing-shell-folder";
    }
    return path;
}

ShellFolders Shell() {
    ShellFolders s;
    s.programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    s.commonFiles = ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
    s.system = ShellFolder(CSIDL_SYSTEM);
    s.commonPrograms = ShellFolder(CSIDL_COMMON_PROGRAMS);
    s.userPrograms = ShellFolder(CSIDL_PROGRAMS);
    s.commonDesktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    s.userDesktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
    s.startup = ShellFolder(CSIDL_STARTUP);
    return s;
}

// Keys every Windows system has; a new prefix may lack some. They are made once, before any
// listing, and left: no installation owns them.
void MakeSystemKeys() {
    const wchar_t* keys[] = {kSharedDlls, kUninstallKey, kRunKey, kAppPathsKey};
    for (const wchar_t* path : keys) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &key, nullptr));
        RegCloseKey(key);
    }
}

// Lays one product's files, shortcuts and registry entries, as its installer would, and
// writes the records of each into the product's uninstall data.
class Installer {
public:
    Installer(Journal& journal, const std::wstring& installDir) : journal_(journal), installDir_(installDir) {
        data_ = StandardData();
        MakeFolder(installDir);
    }

    const std::wstring& InstallDir() const { return installDir_; }
    uninstpack::UninstallData& Data() { return data_; }

    // Creates `path` and its missing parents; the ones it created are undone innermost first.
    void MakeFolder(const std::wstring& path) {
        size_t cut = path.find_last_of(L'\\');
        if (Exists(path)) return;
        if (cut != std::wstring::npos && cut > 2) MakeFolder(path.substr(0, cut));
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << Utf8(path) << ": " << GetLastError();
        journal_.Add([path] { RemoveDirectoryW(path.c_str()); });
    }

    void MakeFile(const std::wstring& path, DWORD size, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        MakeFolder(path.substr(0, path.find_last_of(L'\\')));
        uninstpack::Bytes bytes(size);
        for (DWORD i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + path.size());
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        journal_.Add([path] {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        });
        if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesW(path.c_str(), attributes);
    }

    // A folder inside the installation folder (sub empty: the folder itself), recorded as its
    // installer records it, relative to the installation folder.
    void Folder(const std::wstring& sub) {
        MakeFolder(Join(sub));
        data_.files.push_back({Relative(sub), u"", 0});
    }
    void File(const std::wstring& sub, const std::wstring& name, DWORD size,
              DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        MakeFile(Join(sub) + L"\\" + name, size, attributes);
        data_.files.push_back({Relative(sub), Utf16(name), 0});
    }
    // A file outside the installation folder, recorded by its full path.
    void OutsideFile(const std::wstring& folder, const std::wstring& name, uint8_t flags, bool counted) {
        std::wstring path = folder + L"\\" + name;
        if (!Exists(path)) MakeFile(path, 4096);
        data_.files.push_back({Utf16(folder), Utf16(name), flags});
        if (counted) AddSharedReference(path);
    }

    void Shortcut(uint8_t levels, const std::wstring& first, const std::wstring& second, const std::wstring& name) {
        MakeFolder(first);
        if (!second.empty()) MakeFolder(second);
        if (!name.empty()) MakeFile(first + L"\\" + name, 1200);
        data_.shortcuts.push_back({levels, Utf16(first), Utf16(second), Utf16(name)});
    }

    // Registry contents; the records are added apart, as an installer lists what to remove.
    void SetText(uint32_t root, const std::wstring& keyPath, const std::wstring& name, const std::wstring& text) {
        SetValue(root, keyPath, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void SetNumber(uint32_t root, const std::wstring& keyPath, const std::wstring& name, DWORD number) {
        SetValue(root, keyPath, name, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    }
    void KeyRecord(uint32_t root, const std::wstring& keyPath) { data_.registry.push_back({root, Utf16(keyPath)}); }
    void ValueRecord(uint32_t root, const std::wstring& keyPath, const std::wstring& name) {
        data_.registry.push_back({root, Utf16(keyPath + L"\\\\" + name)});
    }

    // The real program with this product's data, in the installation folder.
    std::wstring WriteProgram() {
        std::wstring exe = installDir_ + L"\\uninst.exe";
        EXPECT_TRUE(WriteUninstaller(exe, uninstpack::EncodeStream(data_)));
        journal_.Add([exe] { DeleteFileW(exe.c_str()); });
        return exe;
    }

private:
    std::wstring Join(const std::wstring& sub) const { return sub.empty() ? installDir_ : installDir_ + L"\\" + sub; }
    static std::u16string Relative(const std::wstring& sub) { return sub.empty() ? u"." : u".\\" + Utf16(sub); }

    void AddSharedReference(const std::wstring& path) {
        DWORD count = 0, size = sizeof(count);
        RegGetValueW(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), RRF_RT_REG_DWORD, nullptr, &count, &size);
        SetNumber(kHKLM, kSharedDlls, path, count + 1);
    }

    // Creates the key when missing (undone as a whole tree) and sets the value (undone by
    // putting back what was there before).
    void SetValue(uint32_t root, const std::wstring& keyPath, const std::wstring& name, DWORD type, const BYTE* data,
                  DWORD cb) {
        HKEY rootKey = RootKey(root);
        HKEY probe;
        std::wstring topNew;  // the outermost key this call creates
        for (size_t at = 0; at != std::wstring::npos;) {
            at = keyPath.find(L'\\', at + 1);
            std::wstring part = keyPath.substr(0, at);
            if (RegOpenKeyExW(rootKey, part.c_str(), 0, KEY_READ, &probe) == ERROR_SUCCESS) {
                RegCloseKey(probe);
            } else {
                topNew = part;
                break;
            }
        }
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(rootKey, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &key, nullptr))
            << Utf8(keyPath);
        if (!topNew.empty()) {
            journal_.Add([rootKey, topNew] { RegDeleteTreeW(rootKey, topNew.c_str()); });
        } else {
            DWORD oldType = 0, oldSize = 0;
            bool had = RegQueryValueExW(key, name.c_str(), nullptr, &oldType, nullptr, &oldSize) == ERROR_SUCCESS;
            std::vector<BYTE> old(oldSize + 2);
            if (had) RegQueryValueExW(key, name.c_str(), nullptr, &oldType, old.data(), &oldSize);
            journal_.Add([rootKey, keyPath, name, had, oldType, old, oldSize] {
                HKEY k;
                if (RegOpenKeyExW(rootKey, keyPath.c_str(), 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return;
                if (had)
                    RegSetValueExW(k, name.c_str(), 0, oldType, old.data(), oldSize);
                else
                    RegDeleteValueW(k, name.c_str());
                RegCloseKey(k);
            });
        }
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name.c_str(), 0, type, data, cb)) << Utf8(keyPath);
        RegCloseKey(key);
    }

    Journal& journal_;
    std::wstring installDir_;
    uninstpack::UninstallData data_;
};

// The first product: a few hundred files in nested folders, shared runtime files, a read-only
// license, Start-menu, desktop and startup shortcuts, and keys and values in HKLM, HKCU and HKCR.

const wchar_t kNotesShared[] = L"hnspell.dll";      // shared, counted once: asked about
const wchar_t kNotesUncounted[] = L"hnlegacy.ocx";  // shared, never counted: asked about

void LayNotes(Installer& in, const ShellFolders& shell) {
    in.Folder(L"");
    in.File(L"", L"notes.exe", 90000);
    in.File(L"", L"readme.txt", 3000);
    in.File(L"", L"license.txt", 5000, FILE_ATTRIBUTE_READONLY);
    in.Folder(L"bin");
    for (int i = 0; i < 20; ++i) in.File(L"bin", L"hn" + std::to_wstring(10 + i) + L".dll", 2000 + i * 37);
    const wchar_t* plugins[] = {L"calendar", L"charts", L"clipper", L"export", L"ink",
                                L"markdown", L"outline", L"search", L"spell", L"tables"};
    in.Folder(L"plugins");
    for (const wchar_t* plugin : plugins) {
        std::wstring dir = std::wstring(L"plugins\\") + plugin;
        in.Folder(dir);
        in.File(dir, L"plugin.dll", 1500);
        in.File(dir, L"plugin.xml", 300);
        for (const wchar_t* lang : {L"en", L"de", L"fr", L"es"}) in.File(dir + L"\\locales\\" + lang, L"strings.txt", 700);
    }
    for (const wchar_t* kind : {L"letters", L"reports", L"notes", L"lists"})
        for (int i = 0; i < 15; ++i) in.File(std::wstring(L"templates\\") + kind, L"template" + std::to_wstring(i) + L".hnt", 400);
    for (int chapter = 1; chapter <= 10; ++chapter)
        for (int page = 0; page < 8; ++page)
            in.File(L"docs\\html\\chapter" + std::to_wstring(chapter), L"page" + std::to_wstring(page) + L".html", 800);
    for (int i = 0; i < 25; ++i) in.File(L"docs\\images", L"figure" + std::to_wstring(i) + L".png", 1200);
    for (const wchar_t* size : {L"16", L"24", L"32", L"48"})
        for (int i = 0; i < 15; ++i) in.File(std::wstring(L"resources\\icons\\") + size, L"icon" + std::to_wstring(i) + L".ico", 600);

    // Shared with the second product, which counted them first; and two only this one uses.
    std::wstring vendorCommon = shell.commonFiles + L"\\Quillsoft";
    in.OutsideFile(vendorCommon, L"qsruntime.dll", kFileShared, true);
    in.OutsideFile(vendorCommon, L"qsnet.dll", kFileShared, true);
    in.OutsideFile(vendorCommon, kNotesUncounted, kFileShared, false);
    in.OutsideFile(shell.system, kNotesShared, kFileShared, true);

    std::wstring menu = shell.commonPrograms + L"\\Quillsoft\\Harbor Notes";
    std::wstring userMenu = shell.userPrograms + L"\\Quillsoft\\Harbor Notes";
    for (const wchar_t* name : {L"Harbor Notes.lnk", L"Read Me.lnk", L"User Guide.lnk", L"Uninstall Harbor Notes.lnk"})
        in.Shortcut(1, menu, L"", name);
    in.Shortcut(2, menu + L"\\Tools", L"", L"Spell Checker.lnk");
    in.Shortcut(2, menu + L"\\Tools", L"", L"Template Editor.lnk");
    in.Shortcut(1, userMenu, L"", L"Quick Note.lnk");
    in.Shortcut(1, menu, userMenu, L"");
    in.Shortcut(0, shell.commonDesktop, L"", L"Harbor Notes.lnk");
    in.Shortcut(0, shell.userDesktop, L"", L"Quick Note.lnk");
    in.Shortcut(2, shell.startup, L"", L"Harbor Notes Tray.lnk");

    // Values in keys that stay (the Run key; the second product's provider list, whose default
    // value this product claims), then whole keys.
    std::wstring exe = in.InstallDir() + L"\\notes.exe";
    in.SetText(kHKLM, kRunKey, L"Harbor Notes Tray", exe + L" /tray");
    in.ValueRecord(kHKLM, kRunKey, L"Harbor Notes Tray");
    in.SetText(kHKLM, L"Software\\Harbor Sync\\Providers", L"Notes", exe);
    in.ValueRecord(kHKLM, L"Software\\Harbor Sync\\Providers", L"Notes");
    in.SetText(kHKLM, L"Software\\Harbor Sync\\Providers", L"", L"Notes");
    in.ValueRecord(kHKLM, L"Software\\Harbor Sync\\Providers", L"");

    std::wstring appPath = std::wstring(kAppPathsKey) + L"\\notes.exe";
    in.SetText(kHKLM, appPath, L"", exe);
    in.SetText(kHKLM, appPath, L"Path", in.InstallDir());
    in.KeyRecord(kHKLM, appPath);
    for (const wchar_t* extension : {L".hnote", L".hnt", L".hntx"}) {
        in.SetText(kHKCR, extension, L"", L"HarborNotes.Document");
        in.SetText(kHKCR, std::wstring(extension) + L"\\ShellNew", L"NullFile", L"");
        in.KeyRecord(kHKCR, extension);
    }
    in.SetText(kHKCR, L"HarborNotes.Document", L"", L"Harbor Notes document");
    in.SetText(kHKCR, L"HarborNotes.Document\\DefaultIcon", L"", exe + L",1");
    in.SetText(kHKCR, L"HarborNotes.Document\\shell\\open\\command", L"", L"\"" + exe + L"\" \"%1\"");
    in.SetText(kHKCR, L"HarborNotes.Document\\shell\\print\\command", L"", L"\"" + exe + L"\" /p \"%1\"");
    in.KeyRecord(kHKCR, L"HarborNotes.Document");
    for (const wchar_t* plugin : plugins) {
        std::wstring progId = std::wstring(L"HarborNotes.Plugin.") + plugin;
        in.SetText(kHKCR, progId, L"", plugin);
        in.SetText(kHKCR, progId + L"\\CurVer", L"", progId + L".1");
        in.KeyRecord(kHKCR, progId);
    }
    for (const wchar_t* plugin : plugins) {
        in.SetNumber(kHKLM, std::wstring(L"Software\\Harbor Notes\\Plugins\\") + plugin, L"Enabled", 1);
    }
    in.SetText(kHKLM, L"Software\\Harbor Notes", L"InstallDir", in.InstallDir());
    in.KeyRecord(kHKLM, L"Software\\Harbor Notes");
    std::wstring uninstallEntry = std::wstring(kUninstallKey) + L"\\Harbor Notes";
    in.SetText(kHKLM, uninstallEntry, L"DisplayName", L"Harbor Notes 4.2");
    in.SetText(kHKLM, uninstallEntry, L"UninstallString", in.InstallDir() + L"\\uninst.exe");
    in.SetNumber(kHKLM, uninstallEntry, L"NoModify", 1);
    in.KeyRecord(kHKLM, uninstallEntry);
    // The user's settings come last and are the largest tree, so the registry stretch of the
    // progress bar ends with a long record.
    for (int i = 0; i < 40; ++i) {
        std::wstring sub = L"Software\\Harbor Notes\\Documents\\Recent" + std::to_wstring(i);
        in.SetText(kHKCU, sub, L"Path", L"C:\\users\\notes\\doc" + std::to_wstring(i) + L".hnote");
        in.SetNumber(kHKCU, sub + L"\\Window", L"Left", i * 10);
    }
    in.KeyRecord(kHKCU, L"Software\\Harbor Notes");
}

// The second product, installed before the first, with absolute records. It shares the
// vendor's runtime files and the vendor's Start-menu folder with the first.
void LaySync(Installer& in, const ShellFolders& shell) {
    const std::wstring& dir = in.InstallDir();
    // Its author marked it a 64-bit product; on a 32-bit system that changes nothing.
    in.Data().settings.flags = kRun64BitApplication;
    auto file = [&](const std::wstring& folder, const std::wstring& name) {
        in.MakeFile(folder + L"\\" + name, 2500);
        in.Data().files.push_back({Utf16(folder), Utf16(name), 0});
    };
    in.Data().files.push_back({Utf16(dir), u"", 0});
    file(dir, L"sync.exe");
    for (int i = 0; i < 12; ++i) file(dir + L"\\lib", L"hs" + std::to_wstring(i) + L".dll");
    for (const wchar_t* lang : {L"en", L"de", L"fr"}) file(dir + L"\\lang\\" + lang, L"sync.txt");
    std::wstring vendorCommon = shell.commonFiles + L"\\Quillsoft";
    in.OutsideFile(vendorCommon, L"qsruntime.dll", kFileShared, true);
    in.OutsideFile(vendorCommon, L"qsnet.dll", kFileShared, true);
    in.Shortcut(1, shell.commonPrograms + L"\\Quillsoft\\Harbor Sync", L"", L"Harbor Sync.lnk");
    in.Shortcut(0, shell.commonDesktop, L"", L"Harbor Sync.lnk");

    std::wstring exe = dir + L"\\sync.exe";
    in.SetText(kHKLM, kRunKey, L"Harbor Sync", exe);
    in.ValueRecord(kHKLM, kRunKey, L"Harbor Sync");
    in.SetText(kHKLM, L"Software\\Harbor Sync", L"InstallDir", dir);
    in.SetText(kHKLM, L"Software\\Harbor Sync\\Providers", L"Calendar", exe);
    in.KeyRecord(kHKLM, L"Software\\Harbor Sync");
    in.SetText(kHKCU, L"Software\\Harbor Sync\\Accounts\\Default", L"Server", L"sync.example.org");
    in.KeyRecord(kHKCU, L"Software\\Harbor Sync");
    std::wstring uninstallEntry = std::wstring(kUninstallKey) + L"\\Harbor Sync";
    in.SetText(kHKLM, uninstallEntry, L"DisplayName", L"Harbor Sync 1.3");
    in.KeyRecord(kHKLM, uninstallEntry);
}

// ---- Driving a run ----------------------------------------------------------------------------

// What one run showed, as the window driver saw it.
struct RunLog {
    DWORD exitCode = kExitKilled;
    bool confirmation = false, notice = false, progressDialog = false;
    std::vector<std::wstring> sharedAsked, readOnlyAsked;  // paths, in the order asked
    std::vector<int> stages;                                // messages 11 to 14 as set
    std::vector<DWORD> positions;                           // bar positions, repeats dropped
    std::vector<std::string> unexpected;                    // boxes nobody asked for
};

// The path that `formatted` puts in place of message's "%s", or empty when it is no such text.
std::wstring PathIn(const std::u16string& message, const std::wstring& formatted) {
    std::wstring text = Wide(message);
    size_t at = text.find(L"%s");
    std::wstring head = text.substr(0, at), tail = text.substr(at + 2);
    if (formatted.size() < head.size() + tail.size() || formatted.compare(0, head.size(), head) != 0 ||
        formatted.compare(formatted.size() - tail.size(), tail.size(), tail) != 0)
        return std::wstring();
    return formatted.substr(head.size(), formatted.size() - head.size() - tail.size());
}

// A question of the run waiting for its answer: a message box or the read-only prompt.
BOOL CALLBACK FindQuestion(HWND window, LPARAM param) {
    std::pair<DWORD, HWND>* search = reinterpret_cast<std::pair<DWORD, HWND>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->first || !IsWindowVisible(window) || WindowClass(window) != kDialogClass ||
        !(GetDlgItem(window, 0xFFFF) || GetDlgItem(window, kYesToAllButton)))
        return TRUE;
    search->second = window;
    return FALSE;
}

// Runs `exe` with `options` to its end, answering every question Yes and OK; what the progress
// dialog showed comes from the run's watch afterwards, every text and position in order.
RunLog DriveRun(const std::wstring& exe, const std::wstring& options) {
    const std::vector<std::u16string> messages = StandardMessages();
    RunLog log;
    ChildProcess child;
    if (!child.Start(exe, options, /*watch*/ true)) return log;
    std::pair<DWORD, HWND> question(child.Id(), nullptr);
    auto asks = [&] {
        question.second = nullptr;
        EnumWindows(FindQuestion, reinterpret_cast<LPARAM>(&question));
        return question.second != nullptr;
    };
    while (WaitUntil(asks, child.Handle(), kChildBoundMs)) {
        HWND window = question.second;
        std::wstring text;
        int answer = IDYES;
        if (GetDlgItem(window, 0xFFFF)) {  // a message box
            text = MessageBoxText(window);
            std::wstring shared = PathIn(messages[10], text);
            answer = IDOK;
            if (text == Wide(messages[1])) {
                log.confirmation = true;
            } else if (text == Wide(messages[2])) {
                log.notice = true;
            } else if (!shared.empty()) {
                log.sharedAsked.push_back(shared);
                answer = IDYES;
            } else {
                log.unexpected.push_back(Utf8(text));
                answer = IDCANCEL;
            }
        } else {  // the read-only prompt
            text = WindowText(GetDlgItem(window, kTextControl));
            log.readOnlyAsked.push_back(PathIn(messages[9], text));
        }
        if (!AnswerBox(window, answer)) {
            ADD_FAILURE() << "could not answer " << Utf8(text);
            break;
        }
    }
    if (child.Running()) {
        std::string seen;
        for (const std::wstring& shown : child.Watch().shown) seen += Utf8(shown) + "\n";
        ADD_FAILURE() << "the run did not end; confirmation " << log.confirmation << ", notice " << log.notice
                      << "; windows shown:\n" << seen;
    }
    log.exitCode = child.Wait();
    const WatchRecord watch = child.Watch();
    for (const std::wstring& shown : watch.shown)
        if (shown == ShownWindow(kDialogClass, Wide(messages[0]), L"")) log.progressDialog = true;
    for (const auto& text : watch.texts)
        for (int n = 11; n <= 14; ++n)
            if (text.first == kTextControl && text.second == Wide(messages[n])) log.stages.push_back(n);
    for (DWORD position : watch.positions)
        if (log.positions.empty() || log.positions.back() != position) log.positions.push_back(position);
    return log;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> paths) {
    for (std::wstring& path : paths) path = Lower(path);
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string Describe(const std::vector<std::wstring>& paths) {
    std::string out;
    for (const std::wstring& path : paths) out += Utf8(path) + "\n";
    return out;
}

// A run killed by the emulator's time bound leaves its installations behind, and the next
// listing would count them as the system's own. Only the scenarios' own names are removed.
void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L"..")) continue;
            std::wstring child = path + L"\\" + found.cFileName;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
    DeleteFileW(path.c_str());
}

void RemoveLeftovers(const ShellFolders& shell) {
    for (const std::wstring& path :
         {shell.programFiles + L"\\Harbor Notes", shell.programFiles + L"\\Harbor Sync",
          shell.programFiles + L"\\Guard Scenario", shell.commonFiles + L"\\Quillsoft",
          shell.commonPrograms + L"\\Quillsoft", shell.userPrograms + L"\\Quillsoft",
          shell.commonDesktop + L"\\Harbor Notes.lnk", shell.commonDesktop + L"\\Harbor Sync.lnk",
          shell.userDesktop + L"\\Quick Note.lnk", shell.startup + L"\\Harbor Notes Tray.lnk",
          shell.system + L"\\" + kNotesShared})
        RemoveTree(path);
    const std::wstring keys[] = {L"Software\\Harbor Notes", L"Software\\Harbor Sync",
                                 std::wstring(kAppPathsKey) + L"\\notes.exe",
                                 std::wstring(kUninstallKey) + L"\\Harbor Notes",
                                 std::wstring(kUninstallKey) + L"\\Harbor Sync"};
    for (const std::wstring& key : keys) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    }
    for (const wchar_t* key : {L".hnote", L".hnt", L".hntx", L"HarborNotes.Document"})
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    for (const wchar_t* plugin : {L"calendar", L"charts", L"clipper", L"export", L"ink", L"markdown", L"outline",
                                  L"search", L"spell", L"tables"})
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"HarborNotes.Plugin.") + plugin).c_str());
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Harbor Notes Tray");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Harbor Sync");
    for (const std::wstring& shared :
         {shell.commonFiles + L"\\Quillsoft\\qsruntime.dll", shell.commonFiles + L"\\Quillsoft\\qsnet.dll",
          shell.commonFiles + L"\\Quillsoft\\" + kNotesUncounted, shell.system + L"\\" + kNotesShared})
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSharedDlls, shared.c_str());
}

// ---- The scenarios ----------------------------------------------------------------------------

class RemovalScenario : public ::testing::Test {
protected:
    void SetUp() override {
        MakeSystemKeys();
        shell_ = Shell();
        RemoveLeftovers(shell_);
    }
    std::wstring NotesDir() const { return shell_.programFiles + L"\\Harbor Notes"; }
    std::wstring SyncDir() const { return shell_.programFiles + L"\\Harbor Sync"; }

    ShellFolders shell_;
    Journal journal_;
};

void ExpectRemovalOfNotes(const RunLog& log, const ShellFolders& shell, const std::wstring& notesDir) {
    EXPECT_EQ(0u, log.exitCode);
    EXPECT_TRUE(log.unexpected.empty()) << (log.unexpected.empty() ? "" : log.unexpected.front());
    std::vector<std::wstring> askedShared = {shell.system + L"\\" + kNotesShared,
                                             shell.commonFiles + L"\\Quillsoft\\" + kNotesUncounted};
    EXPECT_EQ(Sorted(askedShared), Sorted(log.sharedAsked)) << Describe(log.sharedAsked);
    EXPECT_EQ(Sorted({notesDir + L"\\license.txt"}), Sorted(log.readOnlyAsked)) << Describe(log.readOnlyAsked);
}

// The bar, every position it was set to: forward only, except where the shortcut-folder pass
// sweeps the shortcut stretch again, and full at the end.
void ExpectSoundProgress(const RunLog& log, const uninstpack::UninstallData& data) {
    const DWORD files = (DWORD)data.files.size(), shortcuts = (DWORD)data.shortcuts.size();
    const DWORD total = (DWORD)data.registry.size() + 2 * files + shortcuts;
    const DWORD sweepLow = files * 100 / total, sweepHigh = (files + shortcuts - 1) * 100 / total;
    ASSERT_FALSE(log.positions.empty());
    int backwards = 0;
    for (size_t i = 1; i < log.positions.size(); ++i) {
        EXPECT_LE(log.positions[i], 100u);
        if (log.positions[i] >= log.positions[i - 1]) continue;
        ++backwards;
        EXPECT_TRUE(log.positions[i - 1] <= sweepHigh && log.positions[i] >= sweepLow)
            << "back from " << log.positions[i - 1] << " to " << log.positions[i] << " outside the shortcut stretch "
            << sweepLow << " to " << sweepHigh;
    }
    EXPECT_LE(backwards, 1) << "only the shortcut-folder pass sweeps its stretch again";
    EXPECT_EQ(100u, log.positions.back()) << "the full bar just before the dialog closes";
    // Before that, the bar never claims more than the registry stretch's last record.
    for (size_t i = 0; i + 1 < log.positions.size(); ++i) EXPECT_LE(log.positions[i], (total - 1) * 100 / total);
}

// The first product goes quietly and again, reinstalled, with the user's confirmation; each
// time the second keeps all it has. Once the second goes too the prefix is as it was before
// either was installed. Quiet runs still ask the file pass's questions.
TEST_F(RemovalScenario, EachInstallationGoesExactlyQuietlyOrConfirmed) {
    const Listing before = TakeListing();
    Installer sync(journal_, SyncDir());
    LaySync(sync, shell_);
    std::wstring syncExe = sync.WriteProgram();
    const Listing withSync = TakeListing();
    std::wstring notesExe;
    {
        Installer notes(journal_, NotesDir());
        LayNotes(notes, shell_);
        notesExe = notes.WriteProgram();
        ASSERT_FALSE(HasFailure());

        RunLog log = DriveRun(notesExe, L"/S");
        EXPECT_FALSE(log.confirmation || log.progressDialog || log.notice) << "a quiet run shows none of these";
        ExpectRemovalOfNotes(log, shell_, NotesDir());
        Listing expected = withSync;
        ExpectPath(expected, NotesDir());
        ExpectPath(expected, notesExe);
        EXPECT_EQ("", Differences(expected, TakeListing())) << "after the first product's quiet removal";
        ASSERT_TRUE(DeleteFileW(notesExe.c_str()));
        ASSERT_TRUE(RemoveDirectoryW(NotesDir().c_str()));
    }
    {
        Installer notes(journal_, NotesDir());
        LayNotes(notes, shell_);
        notesExe = notes.WriteProgram();
        ASSERT_FALSE(HasFailure());

        RunLog log = DriveRun(notesExe, L"");
        EXPECT_TRUE(log.confirmation && log.progressDialog && log.notice);
        ExpectRemovalOfNotes(log, shell_, NotesDir());
        EXPECT_EQ((std::vector<int>{11, 12, 13, 14}), log.stages) << "stage texts in the order set";
        ExpectSoundProgress(log, notes.Data());
        // The self-removal copy removes the uninstaller and its folder once the run has ended.
        for (DWORD waited = 0; Exists(NotesDir()) && waited < kChildBoundMs; waited += 100) Sleep(100);
        EXPECT_FALSE(Exists(NotesDir())) << "the self-removal leaves no installation folder";
        EXPECT_EQ("", Differences(withSync, TakeListing())) << "after the first product's confirmed removal";
    }

    RunLog log = DriveRun(syncExe, L"/S");
    EXPECT_EQ(0u, log.exitCode);
    std::vector<std::wstring> lastUse = {shell_.commonFiles + L"\\Quillsoft\\qsruntime.dll",
                                         shell_.commonFiles + L"\\Quillsoft\\qsnet.dll"};
    EXPECT_EQ(Sorted(lastUse), Sorted(log.sharedAsked)) << "the last user of a shared file is asked";
    EXPECT_TRUE(log.readOnlyAsked.empty());
    Listing expected = before;
    ExpectPath(expected, SyncDir());
    ExpectPath(expected, syncExe);
    EXPECT_EQ("", Differences(expected, TakeListing())) << "after both removals";
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = c - L'a' + L'A';
    return text;
}

// Records naming the drive root, the Windows directory and every protected folder, as folder
// records (emptied by the run or not), as the folders of removed files, and as shortcut folders
// with levels to spare, remove none of them; what the records put inside them goes.
TEST_F(RemovalScenario, ProtectedFoldersAndTheDriveRootStay) {
    std::vector<std::wstring> guarded;
    auto add = [&](std::wstring path) {
        while (path.size() > 3 && path.back() == L'\\') path.pop_back();
        for (const std::wstring& known : guarded)
            if (Lower(known) == Lower(path)) return;
        guarded.push_back(path);
    };
    for (int i = 0; i < ProtectedFolderCount; ++i) {
        WCHAR path[MAX_PATH];
        if (ResolveProtectedFolder(i, path)) add(path);
    }
    WCHAR windows[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
    add(windows);
    ASSERT_GE(guarded.size(), 20u) << "the protected folders should resolve in the prefix";

    Installer in(journal_, shell_.programFiles + L"\\Guard Scenario");
    const wchar_t kFile[] = L"guard-scenario.tmp";
    // A folder in the profiles root is a profile, and one in a profile is protected too.
    const std::wstring profile = ShellFolder(CSIDL_PROFILE);
    const std::wstring profiles = Lower(profile.substr(0, profile.rfind(L'\\')));
    std::vector<std::wstring> goes, stays;
    for (size_t i = 0; i < guarded.size(); ++i) {
        const std::wstring& folder = guarded[i];
        in.MakeFolder(folder);  // a folder this prefix lacks is made, so its removal would show
        in.OutsideFile(folder, kFile, 0, false);
        goes.push_back(folder + L"\\" + kFile);
        for (const std::wstring& named : {folder, folder + L"\\", Upper(folder)})
            in.Data().files.push_back({Utf16(named), u"", 0});
        in.Shortcut(3, folder, guarded[(i + 1) % guarded.size()], L"");
        in.Shortcut(5, folder + L"\\Guard Scenario Sub", L"", L"");
        bool inProfiles = Lower(folder) == profiles || Lower(folder.substr(0, folder.rfind(L'\\'))) == profiles;
        (inProfiles ? stays : goes).push_back(folder + L"\\Guard Scenario Sub");
    }
    in.MakeFile(L"C:\\guard-scenario.tmp", 100);
    goes.push_back(L"C:\\guard-scenario.tmp");
    in.Data().files.push_back({u"C:\\", u"guard-scenario.tmp", 0});
    in.Data().files.push_back({u"C:\\", u"", 0});
    in.Data().files.push_back({u"C:", u"", 0});
    in.Shortcut(5, L"C:\\Guard Scenario Sub", L"", L"");
    goes.push_back(L"C:\\Guard Scenario Sub");
    in.Data().shortcuts.push_back({2, u"C:\\", u"", u""});
    std::wstring exe = in.WriteProgram();
    ASSERT_FALSE(HasFailure());

    RunLog log = DriveRun(exe, L"/S");
    EXPECT_EQ(0u, log.exitCode);
    EXPECT_TRUE(log.sharedAsked.empty() && log.readOnlyAsked.empty() && log.unexpected.empty());
    EXPECT_TRUE(Exists(L"C:\\"));
    for (const std::wstring& folder : guarded) EXPECT_TRUE(Exists(folder)) << Utf8(folder);
    for (const std::wstring& path : stays) EXPECT_TRUE(Exists(path)) << Utf8(path);
    for (const std::wstring& path : goes) EXPECT_FALSE(Exists(path)) << Utf8(path) << " should have gone";
}

bool KeyThere(uint32_t root, const std::wstring& path) {
    size_t pair = path.find(L"\\\\");
    HKEY key;
    if (RegOpenKeyExW(RootKey(root), path.substr(0, pair).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool there = pair == std::wstring::npos ||
                 RegQueryValueExW(key, path.substr(pair + 2).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return there;
}

// Data from another writer: records naming Windows' folders and keys in other spellings, beside
// the product's own. The silent run leaves all of Windows' and removes all of the product's.
TEST_F(RemovalScenario, DisguisedWindowsFoldersAndKeysStayTheProductsGo) {
    Installer in(journal_, shell_.programFiles + L"\\Guard Scenario");
    auto& records = in.Data();
    const std::wstring profile = ShellFolder(CSIDL_PROFILE), documents = ShellFolder(CSIDL_COMMON_DOCUMENTS);
    const std::wstring other = profile.substr(0, profile.rfind(L'\\')) + L"\\guard-scenario-user";
    WCHAR games[MAX_PATH];
    ASSERT_GT(GetShortPathNameW((profile + L"\\Saved Games").c_str(), games, MAX_PATH), 0u);
    std::wstring slashed = ShellFolder(CSIDL_PERSONAL);
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    const std::wstring windowsFolders[][2] = {
        {documents, documents + L"."}, {shell_.commonDesktop, shell_.commonDesktop + L" "},
        {ShellFolder(CSIDL_PERSONAL), slashed + L"/"}, {profile + L"\\Favorites", profile + L"\\Links\\..\\Favorites"},
        {profile + L"\\Links", L"\\\\?\\" + profile + L"\\Links"}, {profile + L"\\Contacts", Upper(profile) + L"\\CONTACTS"},
        {profile + L"\\Saved Games", games}, {other + L"\\Favorites", other + L"\\Favorites."}, {other + L"2", other + L"2"},
        {ShellFolder(CSIDL_FONTS), ShellFolder(CSIDL_FONTS) + L"."},
    };
    for (const auto& folder : windowsFolders) {
        in.MakeFolder(folder[0]);
        ASSERT_TRUE(PathIsDirectoryEmptyW(folder[0].c_str())) << Utf8(folder[0]) << " must be empty, or its removal would not show";
        records.files.push_back({Utf16(folder[1]), u"", 0});
    }
    const std::wstring productFolders[] = {documents + L"\\Guard Scenario Notes",
                                           profile + L"\\Favorites\\Guard Scenario Links", other + L"\\Favorites\\Guard"};
    for (const std::wstring& folder : productFolders) {
        in.MakeFolder(folder);
        records.files.push_back({Utf16(folder), u"", 0});
    }
    in.Shortcut(2, shell_.commonDesktop + L".", L"", L"");

    // Windows' values are set again as they are, so the journal puts them back after a faulty run.
    const std::wstring run = std::wstring(kRunKey), guid = L"CLSID\\{6E2B4F31-8C0A-4D5E-9F17-3A2B1C0D4E5F}";
    const std::wstring env = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const std::wstring winlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::wstring eventLog = L"System\\CurrentControlSet\\Services\\Eventlog\\Application";
    for (const auto& value : {std::make_pair(kHKLM, env + L"|PATH"), std::make_pair(kHKLM, env + L"|ComSpec"),
                              std::make_pair(kHKLM, winlogon + L"|Shell"), std::make_pair(kHKCU, std::wstring(L"Environment|TEMP"))}) {
        std::wstring key = value.second.substr(0, value.second.find(L'|')), name = value.second.substr(key.size() + 1);
        WCHAR data[2048];
        DWORD cb = sizeof(data);
        ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(RootKey(value.first), key.c_str(), name.c_str(),
                                              RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data, &cb));
        in.SetText(value.first, key, name, data);
    }
    in.SetText(kHKCU, L"Software\\Classes\\exefile\\shell\\open\\command", L"", L"\"%1\" %*");
    in.SetText(kHKCR, L"Directory\\shell\\GuardScenarioOpen\\command", L"", L"guard.exe \"%1\"");
    in.SetText(kHKCR, guid + L"\\InprocServer32", L"", L"guard.dll");
    in.SetText(kHKCR, L".guardscenario", L"", L"GuardScenario.Document");
    in.SetText(kHKLM, std::wstring(kUninstallKey) + L"\\Guard Scenario", L"DisplayName", L"Guard Scenario");
    in.SetText(kHKLM, L"System\\CurrentControlSet\\Services\\GuardScenarioSvc", L"ImagePath", L"guard.exe");
    in.SetText(kHKLM, eventLog + L"\\GuardScenario", L"EventMessageFile", L"guard.dll");
    in.SetText(kHKLM, run, L"GuardScenarioTray", L"guard.exe");
    in.SetText(kHKLM, env, L"GUARDSCENARIO_HOME", L"C:\\guard");
    const std::pair<uint32_t, std::wstring> windowsKeys[] = {
        {kHKCU, L"software\\CLASSES\\ExeFile"}, {kHKCR, L"Directory\\shell"}, {kHKLM, L"SOFTWARE\\" + run.substr(9)},
        {kHKLM, L"System\\CurrentControlSet\\Services\\EventLog\\Application"}, {kHKLM, env + L"\\\\PATH"},
        {kHKLM, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\ENVIRONMENT\\\\ComSpec"},
        {kHKLM, winlogon + L"\\\\Shell"}, {kHKCU, L"Environment\\\\TEMP"},
    };
    const std::pair<uint32_t, std::wstring> productKeys[] = {
        {kHKCR, L"Directory\\shell\\GuardScenarioOpen"}, {kHKLM, L"Software\\Classes\\" + guid}, {kHKCR, L".guardscenario"},
        {kHKLM, std::wstring(kUninstallKey) + L"\\Guard Scenario"},
        {kHKLM, L"System\\CurrentControlSet\\Services\\GuardScenarioSvc"}, {kHKLM, eventLog + L"\\GuardScenario"},
        {kHKLM, run + L"\\\\GuardScenarioTray"}, {kHKLM, env + L"\\\\GUARDSCENARIO_HOME"},
    };
    for (const auto& key : windowsKeys) records.registry.push_back({key.first, Utf16(key.second)});
    for (const auto& key : productKeys) records.registry.push_back({key.first, Utf16(key.second)});
    std::wstring exe = in.WriteProgram();
    ASSERT_FALSE(HasFailure());

    RunLog log = DriveRun(exe, L"/S");
    EXPECT_EQ(0u, log.exitCode);
    for (const auto& folder : windowsFolders) EXPECT_TRUE(Exists(folder[0])) << Utf8(folder[1]);
    for (const std::wstring& folder : productFolders) EXPECT_FALSE(Exists(folder)) << Utf8(folder);
    for (const auto& key : windowsKeys) EXPECT_TRUE(KeyThere(key.first, key.second)) << Utf8(key.second);
    for (const auto& key : productKeys) EXPECT_FALSE(KeyThere(key.first, key.second)) << Utf8(key.second);
}

}  // namespace
