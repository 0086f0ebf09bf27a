// Child-process bench: program paths, uninstaller copies with appended data, bounded child runs.
#include "support/uninst_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

uninstpack::Bytes Cat(std::initializer_list<uninstpack::Bytes> parts) {
    uninstpack::Bytes out;
    for (const uninstpack::Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

uninstpack::Bytes U16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
uninstpack::Bytes U32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
uninstpack::Bytes Units(const std::u16string& text) {
    uninstpack::Bytes out;
    for (char16_t c : text) out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8)});
    return out;
}
uninstpack::Bytes Counted(const std::u16string& text) { return Cat({U16(uint16_t(text.size())), Units(text)}); }

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
std::wstring WatchFile(DWORD pid) { return TempRoot() + L"\\uninst-watch-" + std::to_wstring(pid) + L".log"; }

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

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments, bool watch, HANDLE job) {
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
    if (!CreateProcessW(program.c_str(), buffer.data(), NULL, NULL, FALSE, watch || job ? CREATE_SUSPENDED : 0, NULL,
                        NULL, &si, &pi)) {
        ADD_FAILURE() << "cannot start " << Utf8(line) << ": " << GetLastError();
        return false;
    }
    process_ = pi.hProcess;
    id_ = pi.dwProcessId;
    bool ok = !job || AssignProcessToJobObject(job, process_);
    if (!ok) ADD_FAILURE() << "AssignProcessToJobObject: " << GetLastError();
    if (ok && watch) {
        // The hook runs in the child's own thread right after each message is handled, so even a
        // window or text that lasts a moment is recorded, in order. Events seen from outside
        // were no substitute: Wine 8 delivers WinEvents late and sends no EVENT_OBJECT_SHOW.
        static HMODULE module = LoadLibraryW(BinPath(L"watch_hook_dll.dll").c_str());
        HOOKPROC proc = module ? reinterpret_cast<HOOKPROC>(GetProcAddress(module, "WatchHook")) : NULL;
        watchFile_ = WatchFile(id_);
        DeleteFileW(watchFile_.c_str());  // left by an earlier process of the same id
        hook_ = proc ? SetWindowsHookExW(WH_CALLWNDPROCRET, proc, module, pi.dwThreadId) : NULL;
        ok = hook_ != NULL;
        if (!ok) ADD_FAILURE() << "cannot watch " << Utf8(line) << ": " << GetLastError();
    }
    if (!ok) TerminateProcess(process_, kExitKilled);
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    return ok;
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

JobRun::JobRun() {
    job_ = CreateJobObjectW(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job_ || !SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
        ADD_FAILURE() << "cannot make a job: " << GetLastError();
}

JobRun::~JobRun() {
    if (job_) CloseHandle(job_);
}

JOBOBJECT_BASIC_ACCOUNTING_INFORMATION JobRun::Accounting() const {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &info, sizeof(info), NULL))
        ADD_FAILURE() << "QueryInformationJobObject: " << GetLastError();
    return info;
}

bool JobRun::WaitForActive(DWORD count) const {
    for (DWORD waited = 0; Accounting().ActiveProcesses > count && waited < kChildBoundMs; waited += 20) Sleep(20);
    return Accounting().ActiveProcesses <= count;
}

DWORD RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD boundMs) {
    ChildProcess child;
    if (!child.Start(program, arguments)) return kExitKilled;
    return child.Wait(boundMs);
}

namespace {

bool PollPath(const std::wstring& path, bool present, DWORD boundMs) {
    for (DWORD waited = 0; Exists(path) != present && waited < boundMs; waited += 20) Sleep(20);
    return Exists(path) == present;
}

}  // namespace

bool WaitForPath(const std::wstring& path, DWORD boundMs) { return PollPath(path, true, boundMs); }
bool WaitForGone(const std::wstring& path, DWORD boundMs) { return PollPath(path, false, boundMs); }

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
