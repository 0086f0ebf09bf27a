// Files, folders and registry keys of the prefix for the tests. Removes only what lies inside a
// folder it made, what a caller names, or what a journal made itself.
#include "support/files_registry.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cwchar>

#include "folders/resolve_folder.h"

// ---- text ---------------------------------------------------------------------------------------

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::u16string Utf16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int cb = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(cb, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], cb, NULL, NULL);
    return out;
}

static std::wstring ShiftLetters(std::wstring text, wchar_t from, wchar_t to) {
    for (wchar_t& c : text)
        if (c >= from && c < from + 26) c = c - from + to;
    return text;
}
std::wstring Lower(std::wstring text) { return ShiftLetters(std::move(text), L'A', L'a'); }
std::wstring Upper(std::wstring text) { return ShiftLetters(std::move(text), L'a', L'A'); }

std::wstring WithoutBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// ---- files and folders --------------------------------------------------------------------------

namespace {

std::wstring FullPath(const std::wstring& path) {
    WCHAR buffer[MAX_PATH * 4];
    DWORD cch = GetFullPathNameW(path.c_str(), ARRAYSIZE(buffer), buffer, NULL);
    if (cch == 0 || cch >= ARRAYSIZE(buffer)) return std::wstring();
    return std::wstring(buffer, cch);
}

// A child that was just killed, or one that just ended, may still hold a file for a moment
// while the system closes its handles; a few bounded retries cover that. An entry that is
// already gone counts as removed: after a confirmed run the uninstaller's own temporary copy
// deletes its file and folder while the test cleans up.
template <typename Op>
bool RetryWhileBusy(Op op) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (op()) return true;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return false;
        Sleep(20);
    }
    return false;
}

// A path getter's result as a string: empty when it failed or did not fit.
template <typename Get>
std::wstring Got(Get get) {
    WCHAR path[MAX_PATH * 2];
    DWORD cch = get(path, static_cast<DWORD>(ARRAYSIZE(path)));
    if (cch == 0 || cch >= ARRAYSIZE(path)) return std::wstring();
    return WithoutBackslash(std::wstring(path, cch));
}

}  // namespace

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

uninstpack::Bytes ReadFileBytes(const std::wstring& path) {
    uninstpack::Bytes bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot open " << Utf8(path) << ": " << GetLastError();
        return bytes;
    }
    DWORD size = GetFileSize(file, NULL);
    bytes.resize(size);
    DWORD got = 0;
    if (size != 0 && (!ReadFile(file, bytes.data(), size, &got, NULL) || got != size)) {
        ADD_FAILURE() << "cannot read " << Utf8(path) << ": " << GetLastError();
        bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const uninstpack::Bytes& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create " << Utf8(path) << ": " << GetLastError();
        return false;
    }
    DWORD written = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) && written == bytes.size());
    if (!ok) ADD_FAILURE() << "cannot write " << Utf8(path) << ": " << GetLastError();
    CloseHandle(file);
    return ok;
}

std::vector<std::wstring> ReadTextLines(const std::wstring& path) {
    uninstpack::Bytes bytes = ReadFileBytes(path);
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * 2);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t lf; (lf = text.find(L'\n', start)) != std::wstring::npos; start = lf + 1)
        lines.push_back(text.substr(start, lf - start));
    return lines;
}

std::vector<std::wstring> EntryNames(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L"..")) names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

bool MakeFile(const std::wstring& path, DWORD attributes, size_t cb) {
    uninstpack::Bytes bytes(cb);
    for (size_t i = 0; i < cb; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + path.size());
    if (!WriteFileBytes(path, bytes)) return false;
    bool set = attributes == FILE_ATTRIBUTE_NORMAL || SetFileAttributesW(path.c_str(), attributes);
    EXPECT_TRUE(set) << "the attributes of " << Utf8(path) << ": " << GetLastError();
    return set;
}

bool RemoveTree(std::wstring path, bool report) {
    path = WithoutBackslash(path);
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    bool ok = true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        for (const std::wstring& name : EntryNames(path + L"\\*")) ok = RemoveTree(path + L"\\" + name, report) && ok;
    bool removed = RetryWhileBusy([&] {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) != 0
                                                       : DeleteFileW(path.c_str()) != 0;
    });
    if (!removed && report) ADD_FAILURE() << "cannot remove " << Utf8(path) << ": " << GetLastError();
    return removed && ok;
}

std::wstring TempRoot() {
    std::wstring temp = Got([](WCHAR* p, DWORD cch) { return GetTempPathW(cch, p); });
    std::wstring longTemp = Got([&](WCHAR* p, DWORD cch) { return GetLongPathNameW(temp.c_str(), p, cch); });
    return longTemp.empty() ? temp : longTemp;
}
std::wstring CurrentDirectory() { return Got([](WCHAR* p, DWORD cch) { return GetCurrentDirectoryW(cch, p); }); }
std::wstring WindowsFolder() { return Got([](WCHAR* p, DWORD cch) { return (DWORD)GetWindowsDirectoryW(p, cch); }); }
std::wstring SystemFolder() { return Got([](WCHAR* p, DWORD cch) { return (DWORD)GetSystemDirectoryW(p, cch); }); }

std::wstring ShellFolder(int csidl) {
    WCHAR path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
    return path;
}

std::wstring Resolve(DWORD code) {
    WCHAR path[MAX_PATH];
    return ResolveFolder(path, code) ? std::wstring(path) : std::wstring();
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::wstring& folder) : saved_(CurrentDirectory()) {
    if (saved_.empty()) ADD_FAILURE() << "GetCurrentDirectoryW: " << GetLastError();
    changed_ = !folder.empty() && SetCurrentDirectoryW(folder.c_str());
}
ScopedCurrentDirectory::~ScopedCurrentDirectory() { SetCurrentDirectoryW(saved_.c_str()); }

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    WCHAR old[2048];
    DWORD cch = GetEnvironmentVariableW(name, old, ARRAYSIZE(old));
    if (cch > 0 && cch < ARRAYSIZE(old)) old_ = old;
    SetEnvironmentVariableW(name, value.c_str());
}
ScopedEnvironment::~ScopedEnvironment() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }

TempFolder::TempFolder() {
    std::wstring temp = TempRoot();
    if (temp.empty()) {
        ADD_FAILURE() << "GetTempPathW failed: " << GetLastError();
        return;
    }
    // A folder left by an earlier run with the same process id is not ours: take the next name.
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring candidate = temp + L"\\uninst-test-" + std::to_wstring(GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(serial++);
        if (CreateDirectoryW(candidate.c_str(), NULL)) {
            root_ = candidate;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    ADD_FAILURE() << "cannot create a folder in " << Utf8(temp) << ": " << GetLastError();
}

TempFolder::~TempFolder() {
    if (!root_.empty()) RemoveTree(root_, /*report*/ true);
}

std::wstring TempFolder::Join(const std::wstring& relative) const { return root_ + L"\\" + relative; }

std::wstring TempFolder::MakeFolder(const std::wstring& relative) const {
    std::wstring path = Join(relative);
    if (!Contains(path)) {
        ADD_FAILURE() << "refused to create " << Utf8(path) << " outside " << Utf8(root_);
        return std::wstring();
    }
    for (size_t at = root_.size() + 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != L'\\') continue;
        std::wstring part = path.substr(0, at);
        if (!CreateDirectoryW(part.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create " << Utf8(part) << ": " << GetLastError();
            return std::wstring();
        }
    }
    return path;
}

bool TempFolder::Contains(const std::wstring& path) const {
    if (root_.empty()) return false;
    // Made full first, so that "..", "." and forward slashes cannot lead outside.
    const std::wstring full = WithoutBackslash(FullPath(path));
    return full.size() > root_.size() + 1 && _wcsnicmp(full.c_str(), (root_ + L"\\").c_str(), root_.size() + 1) == 0;
}

bool TempFolder::Remove(const std::wstring& path) const {
    if (!Contains(path)) {
        ADD_FAILURE() << "refused to remove " << Utf8(path) << ": not inside " << Utf8(root_);
        return false;
    }
    return RemoveTree(FullPath(path), /*report*/ true);
}

// ---- registry -----------------------------------------------------------------------------------

HKEY RootKey(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

namespace {

// The key opened with `access`, closed when the object goes; null when it cannot be opened.
struct OpenKey {
    OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
        if (RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) key = nullptr;
    }
    ~OpenKey() {
        if (key) RegCloseKey(key);
    }
    HKEY key = nullptr;
};

}  // namespace

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) { return OpenKey(root, path, KEY_READ | view).key; }

bool ValueExists(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view) {
    OpenKey open(root, path, KEY_READ | view);
    return open.key && RegQueryValueExW(open.key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::wstring ReadText(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view) {
    WCHAR text[2048] = {};
    DWORD cb = sizeof(text) - sizeof(WCHAR);
    OpenKey open(root, path, KEY_READ | view);
    if (!open.key || RegQueryValueExW(open.key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text), &cb))
        return std::wstring();
    return text;
}

bool SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD cb,
              REGSAM view) {
    HKEY key;
    LONG result = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), cb);
        RegCloseKey(key);
    }
    EXPECT_EQ(ERROR_SUCCESS, result) << "setting " << Utf8(path) << " " << Utf8(name);
    return result == ERROR_SUCCESS;
}

bool SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text, REGSAM view) {
    return SetValue(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                    view);
}

bool SetNumber(HKEY root, const std::wstring& path, const std::wstring& name, DWORD number, REGSAM view) {
    return SetValue(root, path, name, REG_DWORD, &number, sizeof(number), view);
}

bool MakeKey(HKEY root, const std::wstring& path, const std::vector<const wchar_t*>& values) {
    HKEY key;
    LONG result = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    EXPECT_EQ(ERROR_SUCCESS, result) << "creating " << Utf8(path);
    if (result != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    bool ok = true;
    for (const wchar_t* name : values) ok = SetNumber(root, path, name, 1) && ok;
    return ok;
}

bool DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view) {
    OpenKey open(root, path, KEY_ALL_ACCESS | view);
    return open.key && RegDeleteValueW(open.key, name.c_str()) == ERROR_SUCCESS;
}

void DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
    {
        OpenKey open(root, path, KEY_ALL_ACCESS | view);
        if (!open.key) return;
        RegDeleteTreeW(open.key, nullptr);
    }
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

std::optional<DWORD> SharedCountOf(const std::wstring& path, REGSAM view) {
    DWORD count = 0, cb = sizeof(count);
    OpenKey open(HKEY_LOCAL_MACHINE, kSharedDllsPath, KEY_READ | view);
    if (!open.key || RegQueryValueExW(open.key, path.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &cb))
        return std::nullopt;
    return count;
}

bool SetSharedCount(const std::wstring& path, std::optional<DWORD> count, REGSAM view) {
    return count ? SetNumber(HKEY_LOCAL_MACHINE, kSharedDllsPath, path, *count, view)
                 : DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsPath, path, view);
}

// ---- journal ------------------------------------------------------------------------------------

void Journal::Undo() {
    while (!undo_.empty()) {
        undo_.back()();
        undo_.pop_back();
    }
}

std::wstring Journal::Folder(const std::wstring& path) {
    size_t cut = path.find_last_of(L'\\');
    if (Exists(path)) return path;
    if (cut != std::wstring::npos && cut > 2) Folder(path.substr(0, cut));
    bool made = CreateDirectoryW(path.c_str(), nullptr) != FALSE;
    EXPECT_TRUE(made) << Utf8(path) << ": " << GetLastError();
    if (made) Add([path] { RemoveDirectoryW(path.c_str()); });
    return path;
}

std::wstring Journal::File(const std::wstring& path, size_t cb, DWORD attributes) {
    Folder(path.substr(0, path.find_last_of(L'\\')));
    if (MakeFile(path, attributes, cb)) Add([path] { RemoveTree(path); });
    return path;
}

void Journal::SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
                       DWORD cb) {
    std::wstring topNew;  // the outermost key this call creates
    for (size_t at = 0; topNew.empty() && at != std::wstring::npos;) {
        at = path.find(L'\\', at + 1);
        if (!KeyExists(root, path.substr(0, at))) topNew = path.substr(0, at);
    }
    if (!topNew.empty()) {
        Add([root, topNew] { RegDeleteTreeW(root, topNew.c_str()); });
    } else {
        OpenKey open(root, path, KEY_READ);
        DWORD oldType = 0, oldSize = 0;
        bool had = RegQueryValueExW(open.key, name.c_str(), nullptr, &oldType, nullptr, &oldSize) == ERROR_SUCCESS;
        std::vector<BYTE> old(oldSize + 2);
        if (had) RegQueryValueExW(open.key, name.c_str(), nullptr, &oldType, old.data(), &oldSize);
        Add([root, path, name, had, oldType, old, oldSize] {
            OpenKey key(root, path, KEY_ALL_ACCESS);
            if (key.key && had) RegSetValueExW(key.key, name.c_str(), 0, oldType, old.data(), oldSize);
            if (key.key && !had) RegDeleteValueW(key.key, name.c_str());
        });
    }
    ::SetValue(root, path, name, type, data, cb);
}

void Journal::SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text) {
    SetValue(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void Journal::SetNumber(HKEY root, const std::wstring& path, const std::wstring& name, DWORD number) {
    SetValue(root, path, name, REG_DWORD, &number, sizeof(number));
}
