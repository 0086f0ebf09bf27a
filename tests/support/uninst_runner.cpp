// Child-process bench: program paths, uninstaller copies with appended data, bounded child
// runs and self-removing temp folders. Never removes anything outside a folder it created.
#include "support/uninst_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int cb = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(cb, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], cb, NULL, NULL);
    return out;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {

std::wstring FullPath(const std::wstring& path) {
    WCHAR buffer[MAX_PATH * 4];
    DWORD cch = GetFullPathNameW(path.c_str(), ARRAYSIZE(buffer), buffer, NULL);
    if (cch == 0 || cch >= ARRAYSIZE(buffer)) return std::wstring();
    return std::wstring(buffer, cch);
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
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

std::wstring TempRoot() {
    WCHAR temp[MAX_PATH + 1];
    DWORD cch = GetTempPathW(ARRAYSIZE(temp), temp);
    if (cch == 0 || cch >= ARRAYSIZE(temp)) return std::wstring();
    // Long form, so that paths the program reports about itself compare equal to ours.
    WCHAR longTemp[MAX_PATH * 2];
    DWORD cchLong = GetLongPathNameW(temp, longTemp, ARRAYSIZE(longTemp));
    std::wstring root = (cchLong != 0 && cchLong < ARRAYSIZE(longTemp)) ? longTemp : temp;
    while (!root.empty() && root.back() == L'\\') root.pop_back();
    return root;
}

}  // namespace

std::wstring BinFolder() {
    WCHAR path[MAX_PATH * 2];
    DWORD cch = GetModuleFileNameW(NULL, path, ARRAYSIZE(path));
    if (cch == 0 || cch >= ARRAYSIZE(path)) {
        ADD_FAILURE() << "GetModuleFileNameW failed: " << GetLastError();
        return std::wstring();
    }
    std::wstring folder(path, cch);
    size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? folder : folder.substr(0, slash);
}

std::wstring BinPath(const std::wstring& fileName) { return BinFolder() + L"\\" + fileName; }

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::u16string Utf16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

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

uninstpack::Bytes UninstallerProgram() { return ReadFileBytes(BinPath(L"uninst.exe")); }

bool WriteUninstaller(const std::wstring& path, const uninstpack::Bytes& stream) {
    uninstpack::Bytes program = UninstallerProgram();
    if (program.empty()) return false;
    return WriteFileBytes(path, uninstpack::BuildUninstaller(program, stream));
}

std::vector<std::u16string> StandardMessages() {
    return {
        u"Test Bench Uninstall",
        u"Remove Test Bench and all of its components?",
        u"Test Bench was removed from your computer.",
        u"&Yes",
        u"Yes to &all",
        u"&No",
        u"No to a&ll",
        u"Not enough memory to read the uninstall data of %s.",
        u"The uninstall data of %s are damaged.",
        u"The file %s is read-only. Remove it anyway?",
        u"No other program uses the shared file %s any more. Remove it?",
        u"Removing files...",
        u"Removing shortcuts...",
        u"Removing folders...",
        u"Removing registry entries...",
        u"Test Bench is still running. Close it, then press Retry.",
    };
}

uninstpack::UninstallData StandardData() {
    uninstpack::UninstallData data;
    data.messages = StandardMessages();
    return data;
}

std::wstring FormatWith(const std::u16string& text, const std::wstring& argument) {
    std::wstring out = Wide(text);
    size_t at = out.find(L"%s");
    if (at != std::wstring::npos) out.replace(at, 2, argument);
    return out;
}

// ---- ChildProcess

ChildProcess::~ChildProcess() {
    if (process_ == NULL) return;
    if (Running()) Kill();
    CloseHandle(process_);
    if (hook_) UnhookWindowsHookEx(hook_);
    if (!watchFile_.empty()) DeleteFileW(watchFile_.c_str());
}

std::wstring ShownWindow(const std::wstring& className, const std::wstring& caption, const std::wstring& text) {
    return className + L" '" + caption + L"': " + text;
}

namespace {

// The record file that tests/helpers/watch_hook_dll.cpp writes for process `pid`.
std::wstring WatchFile(DWORD pid) {
    WCHAR temp[MAX_PATH + 1];
    DWORD cch = GetTempPathW(ARRAYSIZE(temp), temp);
    if (cch == 0 || cch >= ARRAYSIZE(temp)) return std::wstring();
    return std::wstring(temp, cch) + L"uninst-watch-" + std::to_wstring(pid) + L".log";
}

}  // namespace

WatchRecord ChildProcess::Watch() const {
    WatchRecord record;
    if (watchFile_.empty()) {
        ADD_FAILURE() << "Watch on a child started without watching";
        return record;
    }
    HANDLE file = CreateFileW(watchFile_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return record;  // nothing recorded yet
    std::wstring text(GetFileSize(file, NULL) / sizeof(WCHAR), L'\0');
    DWORD got = 0;
    if (!text.empty() && !ReadFile(file, &text[0], (DWORD)(text.size() * sizeof(WCHAR)), &got, NULL))
        ADD_FAILURE() << "cannot read " << Utf8(watchFile_) << ": " << GetLastError();
    CloseHandle(file);
    text.resize(got / sizeof(WCHAR));
    // Records end with a zero; a last one still being written has none yet and is left out.
    for (size_t at = 0, end; (end = text.find(L'\0', at)) != std::wstring::npos; at = end + 1) {
        std::wstring line = text.substr(at, end - at);
        size_t tab = line.find(L'\t');
        if (line.empty()) continue;
        if (line[0] == L'S' && tab != std::wstring::npos) {
            size_t tab2 = line.find(L'\t', tab + 1);
            record.shown.push_back(ShownWindow(line.substr(1, tab - 1), line.substr(tab + 1, tab2 - tab - 1),
                                               tab2 == std::wstring::npos ? L"" : line.substr(tab2 + 1)));
        } else if (line[0] == L'T' && tab != std::wstring::npos) {
            record.texts.push_back({_wtoi(line.c_str() + 1), line.substr(tab + 1)});
        } else if (line[0] == L'P') {
            record.positions.push_back((DWORD)_wtoi(line.c_str() + 1));
        } else if (line[0] == L'I') {
            record.iconClasses.push_back(line.substr(1));
        }
    }
    return record;
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments, bool watch) {
    if (process_ != NULL) {
        ADD_FAILURE() << "ChildProcess started twice";
        return false;
    }
    program_ = program;
    std::wstring line = L"\"" + program + L"\"";
    if (!arguments.empty()) line += L" " + arguments;
    std::vector<WCHAR> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(program.c_str(), buffer.data(), NULL, NULL, FALSE, watch ? CREATE_SUSPENDED : 0, NULL,
                        NULL, &si, &pi)) {
        ADD_FAILURE() << "cannot start " << Utf8(line) << ": " << GetLastError();
        return false;
    }
    process_ = pi.hProcess;
    id_ = pi.dwProcessId;
    if (watch) {
        // The hook runs in the child's own thread right after each message is handled, so even a
        // window or text that lasts a moment is recorded, in order. Events seen from outside
        // were no substitute: Wine 8 delivers WinEvents late and sends no EVENT_OBJECT_SHOW.
        static HMODULE module = LoadLibraryW(BinPath(L"watch_hook_dll.dll").c_str());
        HOOKPROC proc = module ? reinterpret_cast<HOOKPROC>(GetProcAddress(module, "WatchHook")) : NULL;
        watchFile_ = WatchFile(id_);
        DeleteFileW(watchFile_.c_str());  // left by an earlier process of the same id
        hook_ = proc ? SetWindowsHookExW(WH_CALLWNDPROCRET, proc, module, pi.dwThreadId) : NULL;
        if (!hook_) {
            ADD_FAILURE() << "cannot watch " << Utf8(line) << ": " << GetLastError();
            TerminateProcess(process_, kExitKilled);
        }
        ResumeThread(pi.hThread);
    }
    CloseHandle(pi.hThread);
    return hook_ != NULL || !watch;
}

DWORD ChildProcess::Wait(DWORD boundMs) {
    if (process_ == NULL) {
        ADD_FAILURE() << "Wait on a child that was never started";
        return kExitKilled;
    }
    if (WaitForSingleObject(process_, boundMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << Utf8(program_) << " did not end within " << boundMs << " ms; killed";
        Kill();
        return kExitKilled;
    }
    DWORD code = kExitKilled;
    if (!GetExitCodeProcess(process_, &code)) ADD_FAILURE() << "GetExitCodeProcess: " << GetLastError();
    return code;
}

bool ChildProcess::Running() const {
    return process_ != NULL && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill() {
    TerminateProcess(process_, kExitKilled);
    WaitForSingleObject(process_, 10000);
}

DWORD RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD boundMs) {
    ChildProcess child;
    if (!child.Start(program, arguments)) return kExitKilled;
    return child.Wait(boundMs);
}

// ---- TempFolder

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
    if (root_.empty()) return;
    if (!RemoveTree(root_)) ADD_FAILURE() << "cannot remove all of " << Utf8(root_);
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
    std::wstring full = FullPath(path);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full.size() > root_.size() + 1 && StartsWithNoCase(full, root_ + L"\\");
}

bool TempFolder::Remove(const std::wstring& path) const {
    if (!Contains(path)) {
        ADD_FAILURE() << "refused to remove " << Utf8(path) << ": not inside " << Utf8(root_);
        return false;
    }
    std::wstring full = FullPath(path);
    while (full.back() == L'\\') full.pop_back();
    DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveTree(full);
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RetryWhileBusy([&] { return DeleteFileW(full.c_str()) != 0; });
}

// Depth first; `path` is a full path inside root_ or root_ itself. A link (reparse point) is
// removed as an entry and never entered: it may point at a folder that is not ours, and Wine's
// shell folders are links into the host's home folder.
bool TempFolder::RemoveTree(const std::wstring& path) const {
    bool ok = true;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
            std::wstring child = path + L"\\" + found.cFileName;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            bool removed;
            if (isFolder && !isLink) {
                removed = RemoveTree(child);
            } else if (isFolder) {
                removed = RetryWhileBusy([&] { return RemoveDirectoryW(child.c_str()) != 0; });
            } else {
                removed = RetryWhileBusy([&] { return DeleteFileW(child.c_str()) != 0; });
            }
            if (!removed) {
                ADD_FAILURE() << "cannot remove " << Utf8(child) << ": " << GetLastError();
                ok = false;
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RetryWhileBusy([&] { return RemoveDirectoryW(path.c_str()) != 0; }) && ok;
}

// ---- HeldFile

bool HeldFile::Hold(const std::wstring& path, const std::wstring& share) {
    if (ready_ != NULL) {
        ADD_FAILURE() << "HeldFile holds a file already";
        return false;
    }
    static unsigned serial = 0;
    std::wstring name = L"uninst-test-hold-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(serial++);
    ready_ = CreateEventW(NULL, TRUE, FALSE, (name + L".ready").c_str());
    stop_ = CreateEventW(NULL, TRUE, FALSE, (name + L".stop").c_str());
    if (!ready_ || !stop_) {
        ADD_FAILURE() << "CreateEventW: " << GetLastError();
        return false;
    }
    if (!helper_.Start(BinPath(L"hold_file.exe"), L"\"" + path + L"\" " + share + L" " + name)) return false;
    HANDLE either[2] = {ready_, helper_.Handle()};
    DWORD which = WaitForMultipleObjects(2, either, FALSE, kChildBoundMs);
    if (which == WAIT_OBJECT_0) {
        held_ = true;
        return true;
    }
    if (which == WAIT_OBJECT_0 + 1) {
        ADD_FAILURE() << "hold_file could not hold " << Utf8(path) << " (exit code " << helper_.Wait() << ")";
    } else {
        ADD_FAILURE() << "hold_file did not report within " << kChildBoundMs << " ms";
    }
    return false;
}

void HeldFile::Release() {
    if (stop_ != NULL) {
        SetEvent(stop_);
        if (held_) {
            EXPECT_EQ(0u, helper_.Wait()) << "hold_file's exit code";
        }
        held_ = false;
        CloseHandle(stop_);
        stop_ = NULL;
    }
    if (ready_ != NULL) {
        CloseHandle(ready_);
        ready_ = NULL;
    }
}
