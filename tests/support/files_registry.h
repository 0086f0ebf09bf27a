// Files, folders and registry keys of the prefix as the tests make, read, check and remove them:
// throwaway folders, whole-file bytes, trees, the folders the system names, SharedDLLs counts,
// and a journal that undoes what a test made outside a folder of its own.
// Helpers that make something report a failure as a test failure naming the path or key.
#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pack/uninst_data.h"

// ---- text ---------------------------------------------------------------------------------------

std::wstring Wide(const std::u16string& text);
std::u16string Utf16(const std::wstring& text);
// For messages and comparisons in tests: the exact text in UTF-8.
std::string Utf8(const std::wstring& text);
// ASCII letters only: enough for the names the tests compare.
std::wstring Lower(std::wstring text);
std::wstring Upper(std::wstring text);
// The path without its trailing backslashes, but a drive root's.
std::wstring WithoutBackslash(std::wstring path);

// ---- files and folders --------------------------------------------------------------------------

bool Exists(const std::wstring& path);

// Whole-file reads and writes; the write replaces the file. Failures are reported as test
// failures naming the path (and read gives an empty result).
uninstpack::Bytes ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const uninstpack::Bytes& bytes);
// The lines of a UTF-16 text file, each without its "\n"; a last line without one is left out.
std::vector<std::wstring> ReadTextLines(const std::wstring& path);

// The names of the files and folders that `pattern` (a folder, a backslash and a name that may
// hold wildcards) matches, "." and ".." left out.
std::vector<std::wstring> EntryNames(const std::wstring& pattern);
// Creates or replaces `path` with `cb` bytes of a pattern that depends on the path, then gives it
// `attributes`.
bool MakeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL, size_t cb = 8);
// Removes a file, or a folder with all it holds, read-only entries too. A link (reparse point) is
// removed as an entry and never entered: it may point at a folder that is not ours, and Wine's
// shell folders are links into the host's home folder. A child that just ended may hold a file a
// moment longer, so a busy entry is tried again for a while. True when nothing is left; with
// `report`, what could not be removed is a test failure.
bool RemoveTree(std::wstring path, bool report = false);

// Folders as the system names them, without a trailing backslash unless a drive root; empty when
// the call fails. TempRoot is the long form of the temp folder, so that paths the program reports
// about itself compare equal.
std::wstring TempRoot();
std::wstring CurrentDirectory();
std::wstring WindowsFolder();
std::wstring SystemFolder();
// SHGetFolderPathW's folder for a CSIDL_ code as it gives it (Wine 8 gives the documents folder
// there without the trailing backslash that the item list has).
std::wstring ShellFolder(int csidl);
// What the program's ResolveFolder gives for a folder code, or empty when it fails.
std::wstring Resolve(DWORD code);

// The current directory for a scope: changed to `folder` (when given) and put back at its end.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::wstring& folder = std::wstring());
    ~ScopedCurrentDirectory();
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;
    bool Changed() const { return changed_; }

private:
    std::wstring saved_;
    bool changed_ = false;
};

// A variable of this process's environment, which the programs it starts inherit, for a scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

// A new, empty folder in the temp folder, removed with all it holds when the object goes.
// Removal never leaves the folder: paths that do not lie inside it are refused.
//   TempFolder dir;
//   std::wstring exe = dir.Join(L"uninst.exe");
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Full path, without a trailing backslash (empty when it could not be created).
    const std::wstring& Path() const { return root_; }
    // Path + backslash + relative (nothing is created).
    std::wstring Join(const std::wstring& relative) const;
    // Creates a folder (and its parents) inside this one; returns its full path.
    std::wstring MakeFolder(const std::wstring& relative) const;
    // True when `path`, made full, lies strictly inside this folder.
    bool Contains(const std::wstring& path) const;
    // Removes a file or a whole folder tree inside this folder. Refuses (false, and a test
    // failure) anything that does not lie strictly inside it.
    bool Remove(const std::wstring& path) const;

private:
    std::wstring root_;
};

// ---- registry -----------------------------------------------------------------------------------

const uint32_t kHKCR = 0x80000000, kHKCU = 0x80000001, kHKLM = 0x80000002;
const wchar_t kSharedDllsPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// A root as the records store it.
HKEY RootKey(uint32_t root);
// `view` is 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY.
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);
bool ValueExists(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view = 0);
// A REG_SZ or REG_EXPAND_SZ value as stored, or empty.
std::wstring ReadText(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view = 0);
// Creates the key when missing and sets the value.
bool SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD cb,
              REGSAM view = 0);
bool SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text, REGSAM view = 0);
bool SetNumber(HKEY root, const std::wstring& path, const std::wstring& name, DWORD number, REGSAM view = 0);
bool DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view = 0);
// Creates the key when missing, with a REG_DWORD 1 under each of `values`.
bool MakeKey(HKEY root, const std::wstring& path, const std::vector<const wchar_t*>& values = {});
// Removes the key and all below it, if there.
void DeleteTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// The SharedDLLs count of a file: nullopt when there is no value; setting nullopt removes it.
std::optional<DWORD> SharedCountOf(const std::wstring& path, REGSAM view = 0);
bool SetSharedCount(const std::wstring& path, std::optional<DWORD> count, REGSAM view = 0);
// One SharedDLLs value, removed again when the object goes.
class SharedCount {
public:
    explicit SharedCount(std::wstring path) : path_(std::move(path)) {}
    ~SharedCount() { Remove(); }
    SharedCount(const SharedCount&) = delete;
    SharedCount& operator=(const SharedCount&) = delete;
    bool Set(DWORD count) { return SetSharedCount(path_, count); }
    std::optional<DWORD> Get() const { return SharedCountOf(path_); }
    void Remove() { SetSharedCount(path_, std::nullopt); }

private:
    std::wstring path_;
};

// ---- what a test made outside a folder of its own -----------------------------------------------

// Folders, files and registry values made in shell folders, Program Files or the system's keys,
// undone in reverse order when the journal goes, so a failed test leaves the prefix as it found
// it. Only what the journal itself made is ever removed, and what it changed is put back.
class Journal {
public:
    Journal() = default;
    ~Journal() { Undo(); }
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    void Add(std::function<void()> undo) { undo_.push_back(std::move(undo)); }
    void Undo();

    // Creates `path` and its missing parents; returns it.
    std::wstring Folder(const std::wstring& path);
    // Creates or replaces a file (and its missing folders), as MakeFile does; returns it.
    std::wstring File(const std::wstring& path, size_t cb = 8, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
    // Sets a value, creating its key when missing: a new key is undone as a whole tree, a value
    // in a key that was there by putting back what it held before.
    void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD cb);
    void SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text);
    void SetNumber(HKEY root, const std::wstring& path, const std::wstring& name, DWORD number);

private:
    std::vector<std::function<void()>> undo_;
};
