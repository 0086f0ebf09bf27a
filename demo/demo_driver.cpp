// Demo driver (make demo): lays the sample application into this Wine prefix as its uninstaller's
// records describe, runs that uninstaller with every question answered, saves screenshots of the
// dialogs it passed, and prints what was installed, what went, and what remains and why; then
// moves the Start menu and the application data elsewhere, as another machine keeps them, and
// does it all again with the same uninstaller file. With /log the uninstaller writes its log
// (/L), which is printed too.
// Started as the sample application's notes.exe with /unregister, it is that application's
// pre-removal command instead, and only notes that it ran.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pack/uninst_data.h"
#include "support/uninst_runner.h"
#include "support/window_driver.h"

namespace {

const wchar_t kProduct[] = L"Sample Notes";
// Another product of the same vendor: it counts on the shared file and keeps keys beside ours,
// so the run shows what an uninstaller must leave.
const wchar_t kOtherProduct[] = L"Sample Draw";
const wchar_t kVendorKey[] = L"Software\\Sample Vendor";
const wchar_t kSharedDlls[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const wchar_t kPendingKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kReadOnlyName[] = L"readme.txt";
// The pre-removal command writes one line to the file this variable names; the uninstaller
// passes its environment on to the command.
const wchar_t kLogVariable[] = L"SAMPLE_NOTES_DEMO_LOG";
// Controls of the read-only prompt and the progress dialog.
const int kYesToAllButton = 1001, kTextControl = 1000, kProgressBar = 1009;
// Bound on the temporary copy's removal of the uninstaller: it retries for 12 s itself, and a
// start in the loaded test machine has taken 40 s.
const DWORD kSelfRemovalBoundMs = 120000;

std::wstring ParentOf(const std::wstring& path) {
    size_t at = path.find_last_of(L'\\');
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

std::wstring LastPart(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// Creates the folder and every missing parent; true when it exists afterwards.
bool MakeFolders(const std::wstring& path) {
    if (Exists(path)) return true;
    std::wstring parent = ParentOf(path);
    if (!parent.empty() && parent.size() > 2 && !MakeFolders(parent)) return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// ---- Registry ------------------------------------------------------------------------------

const wchar_t* RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return L"HKCR";
    if (root == HKEY_CURRENT_USER) return L"HKCU";
    if (root == HKEY_LOCAL_MACHINE) return L"HKLM";
    if (root == HKEY_USERS) return L"HKU";
    return L"HK?";
}

// The value as text: a number in decimal, a list of texts joined by " | "; empty when absent.
std::wstring ReadValue(HKEY root, const std::wstring& key, const std::wstring& name) {
    HKEY opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return L"";
    DWORD type = 0, cb = 0;
    std::wstring out;
    if (RegQueryValueExW(opened, name.c_str(), nullptr, &type, nullptr, &cb) == ERROR_SUCCESS) {
        std::vector<BYTE> data(cb + 4, 0);
        if (RegQueryValueExW(opened, name.c_str(), nullptr, &type, data.data(), &cb) == ERROR_SUCCESS) {
            if (type == REG_DWORD) {
                out = std::to_wstring(*reinterpret_cast<DWORD*>(data.data()));
            } else {
                const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
                for (size_t i = 0; i < cb / sizeof(wchar_t); ++i) out += text[i] ? text[i] : L'|';
                while (!out.empty() && out.back() == L'|') out.pop_back();
            }
        }
    }
    RegCloseKey(opened);
    return out;
}

// ---- What the demo installs and checks -----------------------------------------------------

enum class Kind { File, Folder, Shortcut, Key, Value };
// Removed: by the run. SelfRemoved: by the temporary copy after the run. Remains: on purpose.
enum class Fate { Removed, SelfRemoved, Remains };

struct Item {
    Kind kind;
    std::wstring path;  // files, folders, shortcuts
    HKEY root;          // keys and values
    std::wstring key, value;
    Fate expected;
    std::wstring why;  // for what remains or goes late
    bool before = false, after = false;
};

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::File: return "file";
    case Kind::Folder: return "folder";
    case Kind::Shortcut: return "shortcut";
    case Kind::Key: return "key";
    case Kind::Value: return "value";
    }
    return "?";
}

std::wstring Label(const Item& item) {
    if (item.kind == Kind::Key) return std::wstring(RootName(item.root)) + L"\\" + item.key;
    if (item.kind == Kind::Value)
        return std::wstring(RootName(item.root)) + L"\\" + item.key + L" : " +
               (item.value.empty() ? L"(default)" : item.value);
    return item.path;
}

bool Present(const Item& item) {
    switch (item.kind) {
    case Kind::Key: return KeyExists(item.root, item.key);
    case Kind::Value: return ValueExists(item.root, item.key, item.value);
    default: return Exists(item.path);
    }
}

struct Demo {
    uninstpack::UninstallData data;
    std::wstring installDir, uninstaller, shotsFolder, shotPrefix, logPath, runLog;
    std::vector<Item> items;
    std::vector<std::string> problems;

    void Add(Kind kind, const std::wstring& path, Fate fate, const std::wstring& why = L"") {
        for (const Item& item : items)
            if (item.kind == kind && Lower(item.path) == Lower(path)) return;
        items.push_back({kind, path, nullptr, L"", L"", fate, why});
    }
    void AddKey(HKEY root, const std::wstring& key, Fate fate, const std::wstring& why = L"") {
        items.push_back({Kind::Key, L"", root, key, L"", fate, why});
    }
    void AddValue(HKEY root, const std::wstring& key, const std::wstring& value, Fate fate,
                  const std::wstring& why = L"") {
        items.push_back({Kind::Value, L"", root, key, value, fate, why});
    }
    void Problem(const std::string& text) { problems.push_back(text); }
};

// A path with its leading folder macro replaced by the folder as an installer finds it, through
// the shell's own call (not the uninstaller's code, which the demo checks). The demo knows the
// macros a sample manifest is likely to use; another stays as written and cannot be created.
std::wstring ExpandMacro(const std::wstring& path) {
    const struct {
        const wchar_t* name;
        int csidl;
    } known[] = {{L"#system#", CSIDL_SYSTEM},          {L"#windows#", CSIDL_WINDOWS},
                 {L"#program files#", CSIDL_PROGRAM_FILES}, {L"#appdata#", CSIDL_APPDATA},
                 {L"#localappdata#", CSIDL_LOCAL_APPDATA}, {L"#commonappdata#", CSIDL_COMMON_APPDATA},
                 {L"#programs#", CSIDL_PROGRAMS},      {L"#commonprograms#", CSIDL_COMMON_PROGRAMS}};
    size_t close = path.empty() || path[0] != L'#' ? std::wstring::npos : path.find(L'#', 1);
    if (close == std::wstring::npos) return path;
    for (const auto& macro : known)
        if (Lower(path.substr(0, close + 1)) == macro.name) return ShellFolder(macro.csidl) + path.substr(close + 1);
    return path;
}

// A record's folder: "." and ".\sub" lie below the installation folder.
std::wstring RecordFolder(const Demo& demo, const std::u16string& directory) {
    std::wstring dir = Wide(directory);
    if (dir == L".") return demo.installDir;
    if (dir.compare(0, 2, L".\\") == 0) return demo.installDir + dir.substr(1);
    return ExpandMacro(dir);
}

bool WriteText(const std::wstring& path, const std::string& text) {
    return WriteFileBytes(path, uninstpack::Bytes(text.begin(), text.end()));
}

bool MakeShortcut(const std::wstring& link, const std::wstring& target) {
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink))))
        return false;
    IPersistFile* file = nullptr;
    bool ok = SUCCEEDED(shellLink->SetPath(target.c_str())) &&
              SUCCEEDED(shellLink->SetWorkingDirectory(ParentOf(target).c_str())) &&
              SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
              SUCCEEDED(file->Save(link.c_str(), TRUE));
    if (file) file->Release();
    shellLink->Release();
    return ok;
}

// The installed file a shortcut opens: the one whose name, without spaces and extension, the
// shortcut's name matches ("Read me.lnk" opens readme.txt), or else the program.
std::wstring ShortcutTarget(const Demo& demo, const std::wstring& linkName, const std::wstring& program) {
    std::wstring wanted;
    for (wchar_t c : Lower(linkName.substr(0, linkName.find_last_of(L'.'))))
        if (c != L' ') wanted += c;
    for (const uninstpack::FileRecord& r : demo.data.files) {
        std::wstring name = Lower(Wide(r.fileName));
        if (!name.empty() && name.substr(0, name.find_last_of(L'.')) == wanted)
            return RecordFolder(demo, r.directory) + L"\\" + Wide(r.fileName);
    }
    return program;
}

void InstallFiles(Demo& demo, std::wstring& program) {
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
    demo.Add(Kind::Folder, demo.installDir, Fate::SelfRemoved,
             L"still holds the running uninstaller; its temporary copy removes it once empty");
    bool readOnlyMade = false, sharedMade = false;
    for (const uninstpack::FileRecord& r : demo.data.files) {
        std::wstring folder = RecordFolder(demo, r.directory);
        if (!MakeFolders(folder)) demo.Problem("cannot create " + Utf8(folder));
        if (r.fileName.empty()) {
            demo.Add(Kind::Folder, folder, folder == demo.installDir ? Fate::SelfRemoved : Fate::Removed);
            continue;
        }
        std::wstring path = folder + L"\\" + Wide(r.fileName);
        bool ok;
        if (r.flags & kFileInUseCheck) {
            // The application itself: this very program, so the pre-removal command can run it.
            ok = CopyFileW(self, path.c_str(), FALSE) != 0;
            if (program.empty()) program = path;
        } else {
            ok = WriteText(path, "Sample Notes: " + Utf8(Wide(r.fileName)) + "\r\n");
        }
        if (!ok) demo.Problem("cannot write " + Utf8(path));
        if (r.flags & kFileShared) {
            // Our installation and the other product's each count once.
            SetNumber(HKEY_LOCAL_MACHINE, kSharedDlls, path, 2);
            demo.Add(Kind::File, path, Fate::Remains,
                     std::wstring(L"shared: ") + kOtherProduct + L" still counts on it (SharedDLLs count 2 -> 1)");
            demo.AddValue(HKEY_LOCAL_MACHINE, kSharedDlls, path, Fate::Remains,
                          std::wstring(L"the shared file's use count, now 1 for ") + kOtherProduct);
            sharedMade = true;
        } else {
            demo.Add(Kind::File, path, Fate::Removed);
        }
        if (Lower(Wide(r.fileName)) == kReadOnlyName) {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
            readOnlyMade = true;
        }
    }
    if (!readOnlyMade) demo.Problem("the manifest has no readme.txt to make read-only");
    if (!sharedMade) demo.Problem("the manifest has no shared file");
}

void InstallShortcuts(Demo& demo, const std::wstring& program) {
    for (const uninstpack::ShortcutRecord& r : demo.data.shortcuts) {
        std::wstring folder = ExpandMacro(Wide(r.firstFolder));
        if (folder.empty()) continue;
        if (!MakeFolders(folder)) demo.Problem("cannot create " + Utf8(folder));
        demo.Add(Kind::Folder, folder, Fate::Removed);
        if (r.fileName.empty()) continue;
        std::wstring link = folder + L"\\" + Wide(r.fileName);
        if (!MakeShortcut(link, ShortcutTarget(demo, Wide(r.fileName), program)))
            demo.Problem("cannot create the shortcut " + Utf8(link));
        demo.Add(Kind::Shortcut, link, Fate::Removed);
    }
}

void InstallRegistry(Demo& demo) {
    for (const uninstpack::RegistryRecord& r : demo.data.registry) {
        HKEY root = RootKey(r.root);
        std::wstring path = Wide(r.path);
        size_t pair = path.rfind(L"\\\\");
        bool ok = true;
        if (pair != std::wstring::npos && pair > 0) {
            std::wstring key = path.substr(0, pair), value = path.substr(pair + 2);
            ok = SetText(root, key, value, L"demo");
            demo.AddValue(root, key, value, Fate::Removed);
            if (Lower(key) == Lower(kVendorKey))
                demo.AddKey(root, key, Fate::Remains, L"only its value " + value + L" was recorded; " +
                                                          kOtherProduct + L" keeps its settings here");
            continue;
        }
        if (Lower(path).find(L"\\uninstall\\") != std::wstring::npos) {
            ok = SetText(root, path, L"DisplayName", kProduct) &&
                 SetText(root, path, L"UninstallString", L"\"" + demo.installDir + L"\\uninst.exe\"") &&
                 SetText(root, path, L"InstallLocation", demo.installDir);
        } else if (root == HKEY_CLASSES_ROOT) {
            ok = SetText(root, path, L"", L"SampleNotes.Document");
        } else {
            ok = SetText(root, path, L"Version", L"1.0") && SetText(root, path, L"InstallDir", demo.installDir) &&
                 SetText(root, path + L"\\Settings", L"Window", L"maximized");
            demo.AddKey(root, path, Fate::Removed);
            demo.AddKey(root, path + L"\\Settings", Fate::Removed);
            if (!ok) demo.Problem("cannot write key " + Utf8(path));
            continue;
        }
        if (!ok) demo.Problem("cannot write key " + Utf8(path));
        demo.AddKey(root, path, Fate::Removed);
    }
    // The other product's keys beside ours: the uninstaller must not touch them, nor the
    // vendor's key that holds both.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        std::wstring key = std::wstring(kVendorKey) + L"\\" + kOtherProduct;
        SetText(root, key, L"Version", L"2.4");
        bool listed = false;
        for (const Item& item : demo.items) listed = listed || (item.kind == Kind::Key && item.root == root &&
                                                                Lower(item.key) == Lower(kVendorKey));
        if (!listed)
            demo.AddKey(root, kVendorKey, Fate::Remains,
                        std::wstring(L"not recorded: the vendor's key, which also holds ") + kOtherProduct);
        demo.AddKey(root, key, Fate::Remains, std::wstring(L"belongs to ") + kOtherProduct);
    }
}

// ---- Driving the run -----------------------------------------------------------------------

struct RunLog {
    DWORD exitCode = kExitKilled;
    std::vector<std::wstring> shots;
    std::vector<std::wstring> readOnlyAsked;
    bool confirmation = false, progress = false, notice = false;
};

struct ProcessWindows {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    ProcessWindows* windows = reinterpret_cast<ProcessWindows*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == windows->pid && IsWindowVisible(window) && WindowClass(window) == kDialogClass)
        windows->found.push_back(window);
    return TRUE;
}

void Shot(Demo& demo, RunLog& log, HWND window, const std::wstring& name) {
    std::wstring file = demo.shotPrefix + std::to_wstring(log.shots.size() + 1) + L"-" + name + L".bmp";
    // A missing picture is reported but does not fail the demo: the removal is what it checks.
    if (SaveScreenshot(window, demo.shotsFolder + L"\\" + file))
        log.shots.push_back(file);
    else
        std::printf("warning: could not save the screenshot %s\n", Utf8(file).c_str());
}

// Runs the uninstaller to its end: OK to the confirmation and the final notice, Yes to the
// read-only prompt; any other question is a fault of the demo's installation and is refused.
RunLog DriveRun(Demo& demo) {
    RunLog log;
    std::vector<std::wstring> messages;
    for (const std::u16string& m : demo.data.messages) messages.push_back(Wide(m));
    messages.resize(16);
    ChildProcess child;
    if (!child.Start(demo.uninstaller, demo.runLog.empty() ? L"" : L"/L \"" + demo.runLog + L"\"")) return log;
    // The next window to act on: a question, or the progress dialog once it shows a stage
    // text (so that its picture has one) and has not been taken yet.
    HWND window = nullptr;
    auto next = [&] {
        ProcessWindows windows = {child.Id(), {}};
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
        for (HWND found : windows.found) {
            if (GetDlgItem(found, 0xFFFF) || GetDlgItem(found, kYesToAllButton) ||
                (!log.progress && GetDlgItem(found, kProgressBar) &&
                 !WindowText(GetDlgItem(found, kTextControl)).empty()))
                return (window = found) != nullptr;
        }
        return false;
    };
    while (WaitUntil(next, child.Handle(), kChildBoundMs)) {
        if (GetDlgItem(window, 0xFFFF)) {  // a message box
            std::wstring text = MessageBoxText(window);
            int answer = IDOK;
            if (text == messages[1] && !log.confirmation) {
                log.confirmation = true;
                Shot(demo, log, window, L"confirmation");
            } else if (text == messages[2]) {
                log.notice = true;
                Shot(demo, log, window, L"final-notice");
            } else {
                Shot(demo, log, window, L"unexpected-question");
                demo.Problem("unexpected question: " + Utf8(text));
                answer = GetDlgItem(window, IDNO) ? IDNO : IDCANCEL;
            }
            if (!AnswerBox(window, answer)) {
                demo.Problem("could not answer: " + Utf8(text));
                break;
            }
        } else if (GetDlgItem(window, kYesToAllButton)) {  // the read-only prompt
            std::wstring text = WindowText(GetDlgItem(window, kTextControl));
            if (log.readOnlyAsked.empty()) Shot(demo, log, window, L"read-only-prompt");
            log.readOnlyAsked.push_back(text);
            if (!AnswerBox(window, IDYES)) {
                demo.Problem("could not answer: " + Utf8(text));
                break;
            }
        } else {
            log.progress = true;
            Shot(demo, log, window, L"progress");
        }
    }
    log.exitCode = child.Wait();
    return log;
}

// The temporary copies of uninstallers in the temp folder.
std::vector<std::wstring> TempCopies() {
    std::vector<std::wstring> found;
    std::wstring temp = TempRoot();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((temp + L"\\_uins*.exe").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return found;
    do found.push_back(temp + L"\\" + data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return found;
}

// ---- Report --------------------------------------------------------------------------------

void PrintItems(const Demo& demo) {
    std::printf("\n%-9s %-9s %-10s %s\n", "what", "before", "after", "path (and why it remains)");
    for (const Item& item : demo.items) {
        const char* after = !item.after ? "removed" : "REMAINS";
        std::printf("%-9s %-9s %-10s %s\n", KindName(item.kind), item.before ? "installed" : "MISSING", after,
                    Utf8(Label(item)).c_str());
        if (!item.why.empty()) std::printf("%-30s %s\n", "", Utf8(L"(" + item.why + L")").c_str());
    }
}

void PrintCounts(const Demo& demo) {
    std::printf("\n");
    for (Kind kind : {Kind::File, Kind::Folder, Kind::Shortcut, Kind::Key, Kind::Value}) {
        int installed = 0, removed = 0, remains = 0;
        for (const Item& item : demo.items) {
            if (item.kind != kind) continue;
            installed += item.before;
            removed += item.before && !item.after;
            remains += item.after;
        }
        std::printf("%-10s %2d installed, %2d removed, %2d remain\n",
                    (std::string(KindName(kind)) + "s:").c_str(), installed, removed, remains);
    }
}

void CheckFates(Demo& demo) {
    for (const Item& item : demo.items) {
        std::string label = Utf8(Label(item));
        if (!item.before) demo.Problem("was not installed: " + label);
        else if (item.expected == Fate::Remains && !item.after) demo.Problem("removed, but must remain: " + label);
        else if (item.expected != Fate::Remains && item.after) demo.Problem("not removed: " + label);
    }
}

// The uninstaller's log, as it wrote it (UTF-8 after its byte-order mark); the run was complete.
void PrintRunLog(Demo& demo) {
    uninstpack::Bytes bytes = Exists(demo.runLog) ? ReadFileBytes(demo.runLog) : uninstpack::Bytes();
    std::string text(bytes.begin(), bytes.end());
    std::printf("\n== The uninstaller's log (/L \"%s\")\n", Utf8(demo.runLog).c_str());
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::printf("%s", text.c_str());
    const std::string end = " complete\r\n";
    if (text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0)
        demo.Problem("the uninstaller's log does not end with \"complete\"");
}

int RunDemo(const std::wstring& shotPrefix, bool withLog) {
    Demo demo;
    demo.uninstaller = BinPath(L"sample-uninst.exe");
    demo.shotsFolder = BinFolder() + L"\\..\\shots";
    demo.shotPrefix = shotPrefix;
    demo.logPath = BinFolder() + L"\\..\\pre-removal.log";
    if (withLog) {
        WCHAR full[MAX_PATH];
        if (GetFullPathNameW((BinFolder() + L"\\..\\Sample Notes uninstall.log").c_str(), MAX_PATH, full, nullptr))
            demo.runLog = full;
        DeleteFileW(demo.runLog.c_str());
    }
    uninstpack::DecodeResult decoded = uninstpack::DecodeUninstaller(ReadFileBytes(demo.uninstaller));
    if (!decoded.ok) {
        std::printf("demo: cannot read the uninstall data of %s: %s\n", Utf8(demo.uninstaller).c_str(),
                    decoded.error.c_str());
        return 1;
    }
    demo.data = decoded.data;
    demo.installDir = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\" + kProduct;
    CreateDirectoryW(demo.shotsFolder.c_str(), nullptr);
    DeleteFileW(demo.logPath.c_str());
    CoInitialize(nullptr);

    DWORD phase = GetTickCount();
    std::printf("== Installing %s into %s\n", Utf8(kProduct).c_str(), Utf8(demo.installDir).c_str());
    std::wstring program;
    InstallFiles(demo, program);
    InstallShortcuts(demo, program);
    InstallRegistry(demo);
    std::wstring installed = demo.installDir + L"\\uninst.exe";
    if (!CopyFileW(demo.uninstaller.c_str(), installed.c_str(), FALSE)) demo.Problem("cannot copy the uninstaller");
    demo.Add(Kind::File, installed, Fate::SelfRemoved, L"removed by its temporary copy after the run");
    demo.uninstaller = installed;
    for (Item& item : demo.items) item.before = Present(item);
    CoUninitialize();
    SetEnvironmentVariableW(kLogVariable, demo.logPath.c_str());
    const std::vector<std::wstring> copiesBefore = TempCopies();

    std::printf("(installed in %.1f s)\n", (GetTickCount() - phase) / 1000.0);
    std::printf("== Running %s (the driver answers every question)\n", Utf8(installed).c_str());
    std::fflush(stdout);
    phase = GetTickCount();
    RunLog log = DriveRun(demo);
    std::printf("(the run took %.1f s)\n", (GetTickCount() - phase) / 1000.0);
    const bool uninstallerLeftAtEnd = Exists(installed);
    // Only a confirmed run that ended well removes itself.
    phase = GetTickCount();
    while (log.exitCode == 0 && (Exists(installed) || Exists(demo.installDir)) &&
           GetTickCount() - phase < kSelfRemovalBoundMs)
        Sleep(100);
    std::printf("exit code %lu; confirmation %s, progress dialog %s, final notice %s\n", log.exitCode,
                log.confirmation ? "answered OK" : "NOT SEEN", log.progress ? "seen" : "not caught",
                log.notice ? "answered OK" : "NOT SEEN");
    for (const std::wstring& text : log.readOnlyAsked) std::printf("read-only prompt answered Yes: %s\n", Utf8(text).c_str());
    if (log.exitCode != 0) demo.Problem("the uninstaller ended with " + std::to_string(log.exitCode));
    if (!log.confirmation || !log.notice) demo.Problem("the confirmation or the final notice was not shown");
    if (log.readOnlyAsked.size() != 1) demo.Problem("the read-only prompt was not asked once");

    uninstpack::Bytes logBytes = Exists(demo.logPath) ? ReadFileBytes(demo.logPath) : uninstpack::Bytes();
    std::string ran(logBytes.begin(), logBytes.end());
    std::printf("pre-removal command: %s\n", ran.empty() ? "DID NOT RUN" : ran.c_str());
    if (ran.empty()) demo.Problem("the pre-removal command did not run");
    std::printf("self-removal: uninst.exe %s when the run ended; %s (%.1f s later)\n",
                uninstallerLeftAtEnd ? "was still there" : "was already gone",
                Exists(installed) ? "STILL THERE" : "removed by the temporary copy", (GetTickCount() - phase) / 1000.0);

    for (Item& item : demo.items) item.after = Present(item);
    std::wstring leftByRun;
    for (const std::wstring& copy : TempCopies()) {
        bool old = false;
        for (const std::wstring& before : copiesBefore) old = old || before == copy;
        if (old) continue;
        std::wstring pending = Lower(ReadValue(HKEY_LOCAL_MACHINE, kPendingKey, L"PendingFileRenameOperations"));
        bool scheduled = pending.find(Lower(LastPart(copy))) != std::wstring::npos;
        leftByRun += L"file      created   REMAINS    " + copy + L"\n" + std::wstring(31, L' ') +
                     (scheduled ? L"(the uninstaller's temporary copy: deleted at the next restart, as "
                                  L"PendingFileRenameOperations says)\n"
                                : L"(the uninstaller's temporary copy: NOT scheduled for deletion)\n");
        if (!scheduled) demo.Problem("the temporary copy is not scheduled for deletion");
    }
    for (const Item& item : demo.items)
        if (item.kind == Kind::Value && item.key == kSharedDlls && ReadValue(item.root, item.key, item.value) != L"1")
            demo.Problem("the shared file's count is not 1: " + Utf8(ReadValue(item.root, item.key, item.value)));

    CheckFates(demo);
    std::printf("\n== Before and after");
    PrintItems(demo);
    std::printf("%s", Utf8(leftByRun).c_str());
    PrintCounts(demo);
    if (withLog) PrintRunLog(demo);
    std::printf("\nscreenshots:");
    for (const std::wstring& shot : log.shots) std::printf(" %s", Utf8(shot).c_str());
    std::printf("\n");
    if (demo.problems.empty()) {
        std::printf("\nEverything recorded was removed; what remains is listed with its reason.\n");
        return 0;
    }
    std::printf("\nDEMO FAILED:\n");
    for (const std::string& p : demo.problems) std::printf("  %s\n", p.c_str());
    return 1;
}

// Moves the all-users Start menu's programs and the user's application data below root, as
// another machine (another Windows version or language, or a policy) keeps them, through the
// values the shell reads them from. True when the shell then reports the new folders.
bool MoveShellFolders(const std::wstring& root) {
    const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const std::wstring programs = root + L"\\Start Menu\\Programs", appData = root + L"\\Roaming";
    bool moved = MakeFolders(programs) && MakeFolders(appData) &&
                 SetText(HKEY_LOCAL_MACHINE, kUserShellFolders, L"Common Programs", programs) &&
                 SetText(HKEY_CURRENT_USER, kUserShellFolders, L"AppData", appData);
    std::printf("Common Programs: %s\nAppData: %s\n", Utf8(ShellFolder(CSIDL_COMMON_PROGRAMS)).c_str(),
                Utf8(ShellFolder(CSIDL_APPDATA)).c_str());
    return moved && Lower(ShellFolder(CSIDL_COMMON_PROGRAMS)) == Lower(programs) &&
           Lower(ShellFolder(CSIDL_APPDATA)) == Lower(appData);
}

// notes.exe /unregister: notes the run, with its folder, for the demo's report.
int Unregister() {
    WCHAR log[MAX_PATH], folder[MAX_PATH];
    if (!GetEnvironmentVariableW(kLogVariable, log, ARRAYSIZE(log))) return 0;
    GetCurrentDirectoryW(ARRAYSIZE(folder), folder);
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
    std::string line = "ran \"" + Utf8(LastPart(self)) + " /unregister\" in " + Utf8(folder);
    return WriteText(log, line) ? 0 : 1;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv && argc == 2 && _wcsicmp(argv[1], L"/unregister") == 0) return Unregister();
    bool withLog = argv && argc == 2 && _wcsicmp(argv[1], L"/log") == 0;
    if (argc != 1 && !withLog) {
        std::printf("usage: demo_driver.exe [/log]   (notes.exe /unregister as the sample's pre-removal command)\n");
        return 2;
    }
    // Saving a shortcut makes Wine start its menu builder, which writes the host's desktop menus
    // and costs a process start; the demo's prefix is thrown away, so it is switched off.
    WCHAR overrides[1024] = L"";
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, ARRAYSIZE(overrides));
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", (std::wstring(overrides) + L";winemenubuilder.exe=d").c_str());
    std::printf("== Layout 1: the shell folders where this prefix keeps them\n");
    int rc = RunDemo(L"", withLog);
    std::printf("\n== Layout 2: the same uninstaller file, with the Start menu and the application data elsewhere\n");
    if (!MoveShellFolders(L"C:\\Layout2")) {
        std::printf("\nDEMO FAILED:\n  the shell folders could not be moved\n");
        return 1;
    }
    return RunDemo(L"layout2-", withLog) | rc;
}
