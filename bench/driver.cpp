// Benchmark driver, started inside the Wine prefix by bench.py: builds the benchmark
// installation on the guest's own disk, starts each contestant on a fresh copy of it under a
// timer, checks afterwards that everything recorded is gone and nothing else, and prints one
// line per run for bench.py to read.
// Usage: bench_driver WORKDIR N ROUNDS make-installation=SCRIPT [ours=STUB] [nsis=SETUP]
//                     [floor=FLOOR] [export-nsis=PATH] [child-debug=WINEDEBUG channels]
//   make-installation: bench/make_installation.sh as a unix path; it makes the files.
//   ours:  our program part; the driver appends the uninstall data of the installation to it.
//   nsis:  the peer's installer made from bench.py's script; run once, it writes the peer's
//          uninstaller, which then runs in place (`_?=`).
//   floor: bench/floor.cpp.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "layout.h"
#include "pack/uninst_data.h"

using uninstpack::Bytes;
using std::wstring;

namespace {

const DWORD kRunTimeoutMs = 20 * 60 * 1000;

double NowMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string Narrow(const wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

wstring Widen(const char* text) {
    wstring out;
    while (*text) out += static_cast<wchar_t>(static_cast<unsigned char>(*text++));
    return out;
}

std::u16string ToU16(const wstring& text) { return std::u16string(text.begin(), text.end()); }

// Reads until ReadFile reports the end: a read from the host's share may stop short of the
// size asked for (seen with the test machine's 9p share), so a single read is not enough.
bool ReadWholeFile(const wstring& path, Bytes& out) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    out.clear();
    BYTE buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ::ReadFile(h, buffer, sizeof(buffer), &got, nullptr) != 0) && got > 0)
        out.insert(out.end(), buffer, buffer + got);
    ::CloseHandle(h);
    return ok;
}

bool WriteWholeFile(const wstring& path, const Bytes& data) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = data.empty() ||
              (::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
               written == data.size());
    return ::CloseHandle(h) && ok;
}

bool CopyWholeFile(const wstring& from, const wstring& to) {
    Bytes data;
    return ReadWholeFile(from, data) && WriteWholeFile(to, data);
}

bool Exists(const wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(const WCHAR* path) {
    HKEY key;
    if (::RegOpenKeyExW(kBenchRoot, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

wstring FolderPath(const wstring& app, unsigned folder) {
    WCHAR name[16];
    FolderName(folder, name);
    return app + L"\\" + name;
}

wstring FilePath(const wstring& app, unsigned file) {
    WCHAR name[16];
    FileName(file, name);
    return FolderPath(app, file / kFilesPerFolder) + L"\\" + name;
}

// Things of the installation that no record names; every contestant must leave them.
struct Sentinels {
    wstring file, folder, folderFile;
};
Sentinels SentinelsOf(const wstring& app) {
    return {app + L"\\keep.txt", app + L"\\dkeep", app + L"\\dkeep\\keep.txt"};
}
const WCHAR* const kKeepKey = BENCH_KEY L"\\keep";
const WCHAR* const kKeepValue = L"keep";

bool PutFile(const wstring& path, const BYTE* content, DWORD cb) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = ::WriteFile(h, content, cb, &written, nullptr) && written == cb;
    return ::CloseHandle(h) && ok;
}

bool PutKey(const WCHAR* path, const WCHAR* valueName, HKEY* keep = nullptr) {
    HKEY key;
    if (::RegCreateKeyExW(kBenchRoot, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    static const WCHAR text[] = L"benchmark value";
    DWORD number = 1234;
    bool ok = ::RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)) == ERROR_SUCCESS &&
              ::RegSetValueExW(key, L"b", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number)) == ERROR_SUCCESS;
    if (keep) *keep = key; else ::RegCloseKey(key);
    return ok;
}

// The unix name of a path of the prefix, from Wine's own export; empty where there is none.
std::string UnixPath(const wstring& path) {
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    UnixNameFn unixName = kernel ? reinterpret_cast<UnixNameFn>(
                                       reinterpret_cast<void*>(::GetProcAddress(kernel, "wine_get_unix_file_name")))
                                 : nullptr;
    if (!unixName) return "";
    char* name = unixName(path.c_str());
    if (!name) return "";
    std::string out = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return out;
}

// Files and folders made by the guest's shell (bench/make_installation.sh): through Wine each
// file took several wineserver round trips, minutes per installation in the test machine.
// Wine starts a unix program without a process handle, so the script writes `done` last.
std::string MakeFilesNatively(const wstring& script, const wstring& app, unsigned n, const wstring& done) {
    std::string unixApp = UnixPath(app), unixDone = UnixPath(done);
    if (unixApp.empty() || unixDone.empty()) return "no unix path for " + Narrow(app) + " (not Wine?)";
    wstring commandLine = L"Z:\\bin\\bash \"" + script + L"\" \"" + Widen(unixApp.c_str()) + L"\" " +
                          std::to_wstring(n) + L" \"" + Widen(unixDone.c_str()) + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return "cannot start bash for " + Narrow(script) + ": error " + std::to_string(::GetLastError());
    if (pi.hThread) ::CloseHandle(pi.hThread);
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    double start = NowMs();
    while (!Exists(done)) {
        if (NowMs() - start > kRunTimeoutMs) return "the installation's files were not made in time";
        ::Sleep(20);
    }
    Bytes said;
    if (!ReadWholeFile(done, said)) return "cannot read " + Narrow(done);
    ::DeleteFileW(done.c_str());
    std::string text(said.begin(), said.end());
    if (text.compare(0, 2, "ok") != 0) return "make_installation.sh: " + text.substr(0, text.find('\n'));
    return "";
}

// The contestants must see the installation the driver used to make through Wine: every data
// file as large, with the attributes and bytes of a file made through Wine (the sentinel).
std::string CheckMadeFiles(const wstring& app, unsigned n, const wstring& reference) {
    WIN32_FILE_ATTRIBUTE_DATA expected;
    if (!::GetFileAttributesExW(reference.c_str(), GetFileExInfoStandard, &expected)) return "no reference file";
    BYTE content[kBenchFileSize];
    for (DWORD i = 0; i < kBenchFileSize; ++i) content[i] = static_cast<BYTE>('a' + i % 26);
    const unsigned samples[] = {0, n / 2, n - 1};
    for (unsigned file : samples) {
        if (file >= n) continue;
        WIN32_FILE_ATTRIBUTE_DATA got;
        Bytes bytes;
        if (!::GetFileAttributesExW(FilePath(app, file).c_str(), GetFileExInfoStandard, &got) ||
            got.dwFileAttributes != expected.dwFileAttributes || got.nFileSizeHigh != 0 ||
            got.nFileSizeLow != kBenchFileSize || !ReadWholeFile(FilePath(app, file), bytes) ||
            bytes != Bytes(content, content + kBenchFileSize))
            return "the made file " + Narrow(FilePath(app, file)) + " differs from one made through Wine";
    }
    WIN32_FILE_ATTRIBUTE_DATA folder;
    if (n && (!::GetFileAttributesExW(FolderPath(app, FolderCount(n) - 1).c_str(), GetFileExInfoStandard, &folder) ||
              folder.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY))
        return "the made folders are not plain folders";
    return "";
}

// The installation: N files of 1 KiB in their folders (made by script), N/10 keys with two
// values each, and the sentinels. Empty string on success, else what failed.
std::string CreateInstallation(const wstring& script, const wstring& runDir, const wstring& app, unsigned n) {
    ::RegDeleteTreeW(kBenchRoot, BENCH_KEY);
    std::string error = MakeFilesNatively(script, app, n, runDir + L"\\made.txt");
    if (!error.empty()) return error;
    BYTE content[kBenchFileSize];
    for (DWORD i = 0; i < kBenchFileSize; ++i) content[i] = static_cast<BYTE>('a' + i % 26);
    for (unsigned k = 0; k < KeyCount(n); ++k) {
        WCHAR path[32];
        KeyPath(k, path);
        if (!PutKey(path, L"a")) return "cannot create a key";
    }
    Sentinels s = SentinelsOf(app);
    if (!PutFile(s.file, content, 16) || !::CreateDirectoryW(s.folder.c_str(), nullptr) ||
        !PutFile(s.folderFile, content, 16) || !PutKey(BENCH_KEY, kKeepValue) || !PutKey(kKeepKey, L"a"))
        return "cannot create the sentinels";
    return CheckMadeFiles(app, n, s.file);
}

struct CheckResult {
    unsigned files = 0, folders = 0, keys = 0;  // recorded items still present
    unsigned sentinelsLost = 0;
    static const unsigned kSentinels = 5;
};

CheckResult CheckInstallation(const wstring& app, unsigned n) {
    CheckResult r;
    // A file cannot outlive its folder, so a folder that is gone saves asking for its files;
    // at N = 20,000 that is most of the check's time.
    for (unsigned folder = 0; folder < FolderCount(n); ++folder) {
        if (!Exists(FolderPath(app, folder))) continue;
        ++r.folders;
        for (unsigned file = folder * kFilesPerFolder; file < n && file < (folder + 1) * kFilesPerFolder; ++file)
            r.files += Exists(FilePath(app, file));
    }
    for (unsigned k = 0; k < KeyCount(n); ++k) {
        WCHAR path[32];
        KeyPath(k, path);
        r.keys += KeyExists(path);
    }
    Sentinels s = SentinelsOf(app);
    r.sentinelsLost += !Exists(s.file);
    r.sentinelsLost += !Exists(s.folder);
    r.sentinelsLost += !Exists(s.folderFile);
    r.sentinelsLost += !KeyExists(kKeepKey);
    HKEY key;
    bool valueKept = false;
    if (::RegOpenKeyExW(kBenchRoot, BENCH_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        valueKept = ::RegQueryValueExW(key, kKeepValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        ::RegCloseKey(key);
    }
    r.sentinelsLost += !valueKept;
    return r;
}

// Leaves nothing of a run behind, whatever the contestant left, so runs cannot see each other.
void RemoveInstallation(const wstring& runDir, const wstring& app, unsigned n) {
    for (unsigned folder = 0; folder < FolderCount(n); ++folder) {
        if (!Exists(FolderPath(app, folder))) continue;
        for (unsigned file = folder * kFilesPerFolder; file < n && file < (folder + 1) * kFilesPerFolder; ++file)
            ::DeleteFileW(FilePath(app, file).c_str());
        ::RemoveDirectoryW(FolderPath(app, folder).c_str());
    }
    Sentinels s = SentinelsOf(app);
    ::DeleteFileW(s.folderFile.c_str());
    ::RemoveDirectoryW(s.folder.c_str());
    ::DeleteFileW(s.file.c_str());
    ::DeleteFileW((app + L"\\uninst.exe").c_str());
    ::DeleteFileW((app + L"\\uninstall.exe").c_str());
    ::RemoveDirectoryW(app.c_str());
    ::DeleteFileW((runDir + L"\\made.txt").c_str());
    ::RemoveDirectoryW(runDir.c_str());
    ::RegDeleteTreeW(kBenchRoot, BENCH_KEY);
    ::RegDeleteKeyW(kBenchRoot, BENCH_KEY);
}

struct Timed {
    bool started = false, timedOut = false;
    DWORD exitCode = 0;
    DWORD threadId = 0;  // the first thread's id: the wineserver's traces name threads by it
    double ms = 0;
};

// The process's whole life as the guest sees it: from CreateProcess until its handle signals.
// pump: answer window messages while waiting (once the driver has its window; before that a
// message wait would make Wine load the display driver, which fails while the desktop is down).
Timed RunTimed(wstring commandLine, const wstring& currentDir, DWORD timeoutMs, bool pump = true) {
    Timed t;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    double start = NowMs();
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, currentDir.c_str(), &si, &pi))
        return t;
    t.started = true;
    t.threadId = pi.dwThreadId;
    // The driver's window must answer while it waits: a contestant that broadcasts a message
    // with SendMessage would otherwise wait for the driver, and the driver for it.
    DWORD waited = WAIT_TIMEOUT;
    while (NowMs() - start < timeoutMs) {
        waited = pump ? ::MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 1000, QS_ALLINPUT)
                      : ::WaitForSingleObject(pi.hProcess, 1000);
        if (waited == WAIT_OBJECT_0) break;
        if (!pump) continue;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    if (waited != WAIT_OBJECT_0) {
        t.timedOut = true;
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, INFINITE);
    }
    t.ms = NowMs() - start;
    ::GetExitCodeProcess(pi.hProcess, &t.exitCode);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return t;
}

Bytes OurUninstaller(const Bytes& stub, unsigned n) {
    uninstpack::UninstallData data;
    const char* texts[16] = {"Bench uninstall", "Remove the benchmark installation?", "Removed.", "&Yes",
                             "Yes to &all", "&No", "N&o to all", "Not enough memory for %s.",
                             "The uninstall data of %s are damaged.", "%s is read-only. Remove it?",
                             "%s is shared. Remove it?", "Removing files...", "Removing shortcuts...",
                             "Removing folders...", "Removing registry entries...", "Still running."};
    for (const char* t : texts) data.messages.push_back(ToU16(Widen(t)));
    // In installation order: a folder's record before the records of its files.
    for (unsigned folder = 0; folder < FolderCount(n); ++folder) {
        WCHAR name[16];
        FolderName(folder, name);
        std::u16string directory = u".\\" + ToU16(name);
        data.files.push_back({directory, u"", 0});
        for (unsigned file = folder * kFilesPerFolder; file < n && file < (folder + 1) * kFilesPerFolder; ++file) {
            WCHAR fileName[16];
            FileName(file, fileName);
            data.files.push_back({directory, ToU16(fileName), 0});
        }
    }
    for (unsigned k = 0; k < KeyCount(n); ++k) {
        WCHAR path[32];
        KeyPath(k, path);
        data.registry.push_back({kBenchRootValue, ToU16(path)});
    }
    return uninstpack::BuildUninstaller(stub, uninstpack::EncodeStream(data));
}

struct Contestant {
    std::string name;
    wstring staged;          // the program, on the guest's disk
    wstring installedName;   // its file name inside the installation; empty: it runs from staged
};

wstring CommandLine(const Contestant& c, const wstring& app, unsigned n) {
    if (c.name == "ours") return L"\"" + app + L"\\" + c.installedName + L"\" /S";
    // The peer reads `_?=` only as the last argument, unquoted, and then runs in place.
    if (c.name == "nsis") return L"\"" + app + L"\\" + c.installedName + L"\" /S _?=" + app;
    return L"\"" + c.staged + L"\" " + std::to_wstring(n) + L" " + app;
}

// The first window of a Wine session starts the desktop process (explorer.exe), which ends
// again a while after its last window. Under load that start took 10 to 20 s in the test
// machine, and a contestant's CreateWindowEx that came first failed outright ("The explorer
// process failed to start"; our program then exits with -1). A window of the driver's own,
// made before any timed run and kept to the end, keeps the desktop up for every contestant.
// A process whose first window failed keeps failing (Wine then holds no display driver for
// it), so the first windows are tried in short-lived probe processes until one succeeds.
HWND ProbeWindow() {
    return ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
}

bool KeepDesktopUp() {
    WCHAR self[MAX_PATH];
    DWORD cch = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return false;
    for (int attempt = 0; attempt < 10; ++attempt) {
        Timed probe = RunTimed(L"\"" + wstring(self) + L"\" window-probe", L"C:\\", 120000, false);
        if (probe.started && !probe.timedOut && probe.exitCode == 0) return ProbeWindow() != nullptr;
    }
    return false;
}

// Stopping the host's side of a bench leaves the driver running in the guest, so a file
// bench.stop beside the driver's program stops it between two runs.
bool StopAsked() {
    WCHAR self[MAX_PATH];
    DWORD cch = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return false;
    wstring path = self;
    return Exists(path.substr(0, path.find_last_of(L'\\') + 1) + L"bench.stop");
}

int Fail(const std::string& what) {
    std::printf("error %s\n", what.c_str());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && wstring(argv[1]) == L"window-probe") return ProbeWindow() ? 0 : 1;
    if (argc < 4)
        return Fail("usage: bench_driver WORKDIR N ROUNDS make-installation=SCRIPT [ours=STUB] [nsis=SETUP] "
                    "[floor=FLOOR] [export-nsis=PATH] [child-debug=CHANNELS]");
    if (StopAsked()) return Fail("stopped by bench.stop");
    if (!KeepDesktopUp()) return Fail("no window can be created: Wine's desktop process does not start");
    wstring work = argv[1];
    unsigned n = static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10));
    unsigned rounds = static_cast<unsigned>(std::wcstoul(argv[3], nullptr, 10));
    wstring stage = work + L"\\stage-" + std::to_wstring(n);
    ::CreateDirectoryW(work.c_str(), nullptr);
    ::CreateDirectoryW(stage.c_str(), nullptr);

    std::vector<Contestant> contestants;
    wstring exportNsis, script;
    for (int i = 4; i < argc; ++i) {
        wstring arg = argv[i];
        size_t eq = arg.find(L'=');
        if (eq == wstring::npos) return Fail("argument without '=': " + Narrow(arg));
        wstring name = arg.substr(0, eq), value = arg.substr(eq + 1);
        if (name == L"ours") {
            Bytes stub;
            if (!ReadWholeFile(value, stub)) return Fail("cannot read " + Narrow(value));
            try {
                if (!WriteWholeFile(stage + L"\\uninst.exe", OurUninstaller(stub, n)))
                    return Fail("cannot write our uninstaller");
            } catch (const std::exception& e) {
                return Fail(std::string("our uninstaller: ") + e.what());
            }
            contestants.push_back({"ours", stage + L"\\uninst.exe", L"uninst.exe"});
        } else if (name == L"nsis") {
            wstring setup = stage + L"\\setup.exe", target = stage + L"\\nsis";
            if (!CopyWholeFile(value, setup)) return Fail("cannot copy " + Narrow(value));
            Timed t = RunTimed(L"\"" + setup + L"\" /S /D=" + target, stage, kRunTimeoutMs);
            if (!t.started || t.timedOut || t.exitCode != 0 || !Exists(target + L"\\uninstall.exe"))
                return Fail("the peer's installer did not write its uninstaller");
            contestants.push_back({"nsis", target + L"\\uninstall.exe", L"uninstall.exe"});
        } else if (name == L"floor") {
            if (!CopyWholeFile(value, stage + L"\\floor.exe")) return Fail("cannot copy " + Narrow(value));
            contestants.push_back({"floor", stage + L"\\floor.exe", L""});
        } else if (name == L"make-installation") {
            script = value;
        } else if (name == L"export-nsis") {
            exportNsis = value;
        } else if (name == L"child-debug") {
            // Wine reads its debug channels from the environment the contestant inherits, and
            // writes their lines to the unix standard error that wine-run passes back.
            ::SetEnvironmentVariableW(L"WINEDEBUG", value.c_str());
        } else {
            return Fail("unknown argument " + Narrow(arg));
        }
    }
    if (script.empty()) return Fail("make-installation=SCRIPT is needed to make the installation");
    if (!exportNsis.empty()) {
        for (const Contestant& c : contestants)
            if (c.name == "nsis" && !CopyWholeFile(c.staged, exportNsis)) return Fail("cannot export the peer's uninstaller");
    }

    unsigned sequence = 0;
    for (unsigned round = 0; round < rounds; ++round) {
        // Each round starts with the next contestant, so slow phases of the shared machine
        // fall on all of them alike.
        for (size_t k = 0; k < contestants.size(); ++k) {
            if (StopAsked()) return Fail("stopped by bench.stop");
            const Contestant& c = contestants[(k + round) % contestants.size()];
            wstring runDir = work + L"\\run-" + std::to_wstring(n) + L"-" + std::to_wstring(sequence++);
            wstring app = runDir + L"\\app";
            ::CreateDirectoryW(runDir.c_str(), nullptr);
            double createStart = NowMs();
            std::string error = CreateInstallation(script, runDir, app, n);
            if (error.empty() && !c.installedName.empty() &&
                !::CopyFileW(c.staged.c_str(), (app + L"\\" + c.installedName).c_str(), TRUE))
                error = "cannot copy the uninstaller into the installation";
            if (!error.empty()) {
                RemoveInstallation(runDir, app, n);
                return Fail(error);
            }
            double createMs = NowMs() - createStart;
            Timed t = RunTimed(CommandLine(c, app, n), work, kRunTimeoutMs);
            CheckResult r = CheckInstallation(app, n);
            bool clean = r.files == 0 && r.folders == 0 && r.keys == 0 && r.sentinelsLost == 0;
            std::printf("run n=%u who=%s round=%u ms=%.1f exit=%ld started=%d timeout=%d tid=%04lx create-ms=%.0f "
                        "left-files=%u/%u left-folders=%u/%u left-keys=%u/%u lost-sentinels=%u/%u check=%s\n",
                        n, c.name.c_str(), round, t.ms, static_cast<long>(t.exitCode), t.started, t.timedOut,
                        static_cast<unsigned long>(t.threadId), createMs, r.files, n, r.folders, FolderCount(n), r.keys, KeyCount(n), r.sentinelsLost,
                        CheckResult::kSentinels, clean && t.started && !t.timedOut && t.exitCode == 0 ? "ok" : "FAIL");
            std::fflush(stdout);
            RemoveInstallation(runDir, app, n);
        }
    }
    return 0;
}
