// Listings of drive C: and of the registry, and their differences.
#include "support/snapshot.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "support/files_registry.h"

namespace {

std::string FileEntryText(DWORD attributes, DWORD size) {
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "folder " + std::to_string(attributes & kept);
    return "file " + std::to_string(size) + " " + std::to_string(attributes & kept);
}

// The temp folders are left out of the walk: Wine and its programs write there, the listing
// saves its registry branches there, and the self-removal copy of a confirmed run stays there
// until the next restart, as intended.
bool SkippedFolder(const std::string& key) {
    static const std::string temp = "f " + Utf8(Lower(TempRoot()));
    return key == temp || key == "f c:\\windows\\temp";
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

// The next line of `text` from `at`, without its line end; empty at the end.
std::string NextLine(const std::string& text, size_t& at) {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
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
    std::wstring file = TempRoot() + L"\\listing-branch-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(file.c_str());
    LONG saved = RegSaveKeyW(key, file.c_str(), nullptr);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, saved) << label;
    uninstpack::Bytes bytes = ReadFileBytes(file);
    DeleteFileW(file.c_str());
    const std::string text(bytes.begin(), bytes.end());

    std::string current;
    for (size_t at = 0; at < text.size();) {
        std::string line = NextLine(text, at);
        while (!line.empty() && line.back() == '\\' && at < text.size()) {  // continued hex data
            std::string next = NextLine(text, at);
            line.pop_back();
            line += next.substr(std::min(next.find_first_not_of(' '), next.size()));
        }
        if (line.empty() || line[0] == '#' || line[0] == ';' || line.compare(0, 5, "WINE ") == 0) continue;
        if (line[0] == '[') {
            current = label + "\\" + line.substr(1, std::min(line.rfind(']'), line.size()) - 1);
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

}  // namespace

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

void ExpectPath(Listing& listing, const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) << Utf8(path);
    listing["f " + Utf8(Lower(path))] = FileEntryText(data.dwFileAttributes, data.nFileSizeLow);
}
