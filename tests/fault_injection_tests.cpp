// Fault injection: each table entry that the running check, the pre-removal command, the removal
// passes, the finish page and the self-removal call is made to fail, with an error of each result
// the file primitives give (one typical error for the other entries), at the first call of each
// step and at every call. Each step must run to its end, the records after a failure must still
// be handled, and nothing may be shown that the failure does not call for. The steps are called
// in process, one after another, as the run sequence calls them; a table of the runs is printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "data/data_locator.h"
#include "data/install_records.h"
#include "data/memory_ops.h"
#include "folders/protected_folders.h"
#include "pack/uninst_data.h"
#include "removal/file_pass.h"
#include "removal/folder_pass.h"
#include "removal/registry_pass.h"
#include "removal/shortcut_pass.h"
#include "run/pre_removal.h"
#include "run/run_sequence.h"
#include "run/self_removal.h"
#include "run/session.h"
#include "run/ui_windows.h"
#include "support/loaded_data.h"
#include "support/member_guard.h"
#include "support/program_test.h"
#include "support/uninst_runner.h"
#include "support/whole_run.h"

using uninstpack::Bytes;

namespace {

// ---- the injected failure ----

struct Injection {
    bool active = false;
    bool always = false;  // every call fails; otherwise only the first call of each step
    DWORD error = 0;
    int callsInStep = 0;
    int failed = 0;  // failures injected during the whole case
};
Injection g;

bool Inject() {
    if (!g.active) return false;
    if (g.always || ++g.callsInStep == 1) {
        ++g.failed;
        return true;
    }
    return false;
}

// The fake of one table entry, typed from the entry: it fails like the real call (the row's
// failure result, the error as last error) and otherwise hands the call on to what the entry
// held before it.
template <typename Fn, Fn ApiTable::*Field>
struct Fake;
template <typename R, typename... A, R(WINAPI* ApiTable::*Field)(A...)>
struct Fake<R(WINAPI*)(A...), Field> {
    using Result = R;
    static inline R(WINAPI* real)(A...) = nullptr;
    static inline R (*failure)(DWORD error) = nullptr;
    static R WINAPI Fail(A... args) {
        if (Inject()) {
            SetLastError(g.error);
            return failure(g.error);
        }
        return real(args...);
    }
    static void Install(R (*fails)(DWORD)) {
        failure = fails;
        real = Platform.ApiTable.*Field;
        Platform.ApiTable.*Field = Fail;
    }
    static void Restore() { Platform.ApiTable.*Field = real; }
};
#define FAKE(entry) Fake<decltype(Platform.ApiTable.entry), &ApiTable::entry>

// The file primitives tell a missing file, a denial and anything else apart (primitives_tests
// shows which errors give which): one error of each, and for the last a sharing violation and an
// error they do not name.
const std::vector<DWORD> kMappedErrors = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                                          ERROR_INVALID_PARAMETER};
// The other entries' results are only ever compared with success (and, for RegEnumKeyEx, with
// the end of the list), so one error stands for all.
const std::vector<DWORD> kTypicalErrors = {ERROR_ACCESS_DENIED};

struct Entry {
    const char* name;
    void (*install)();
    void (*restore)();
    bool resolvesFolders;
    const std::vector<DWORD>* errors;
    // Message 10 for the shared file is the documented answer to this failure: the count
    // cannot be read, so the file counts as no longer referenced and the user is asked.
    bool asksSharedQuestion;
};

// One row per entry: what the call returns when it fails (an expression that may use the
// injected `error`), the errors to inject, and whether message 10 is expected; ENTRY for an
// entry of one typical error and no question.
#define ROW(name, entry, fails, errors, asks)                                                        \
    Entry {                                                                                          \
        name, [] { FAKE(entry)::Install([](DWORD error) -> FAKE(entry)::Result { (void)error; return fails; }); }, \
            FAKE(entry)::Restore, ResolvesFolders(&Platform.ApiTable.entry), &errors, asks           \
    }
// Named as written: an argument passed on is expanded first, CreateFile to CreateFileW.
#define ENTRY_OF(entry, fails, errors, asks) ROW(#entry, entry, fails, errors, asks)
#define ENTRY(entry, fails) ROW(#entry, entry, fails, kTypicalErrors, false)

std::vector<Entry> Entries() {
    return {
        ENTRY(CreateFile, INVALID_HANDLE_VALUE),
        ENTRY_OF(DeleteFile, FALSE, kMappedErrors, false),
        ENTRY_OF(GetFileAttributes, INVALID_FILE_ATTRIBUTES, kMappedErrors, false),
        ENTRY_OF(SetFileAttributes, FALSE, kMappedErrors, false),
        ENTRY(CreateProcess, FALSE),
        ENTRY_OF(RegOpenKeyEx, LONG(error), kTypicalErrors, true),
        ENTRY_OF(RegQueryValueEx, LONG(error), kTypicalErrors, true),
        ENTRY(RegSetValueEx, LONG(error)), ENTRY(RegEnumKeyEx, LONG(error)), ENTRY(RegDeleteKey, LONG(error)),
        ENTRY(RegDeleteValue, LONG(error)), ENTRY(ShellExecute, reinterpret_cast<HINSTANCE>(SE_ERR_ACCESSDENIED)),
        ENTRY(RemoveFontResource, FALSE), ENTRY(GetModuleFileName, 0), ENTRY(GetTempPath, 0),
        ENTRY(GetSystemDirectory, 0), ENTRY(GetWindowsDirectory, 0), ENTRY(SetCurrentDirectory, FALSE),
        ENTRY(GetCurrentDirectory, 0), ENTRY(RemoveDirectory, FALSE), ENTRY(GetFullPathName, 0),
        ENTRY(LoadLibrary, nullptr), ENTRY(FindFirstFile, INVALID_HANDLE_VALUE), ENTRY(MessageBox, 0),
        ENTRY(DialogBoxParam, -1), ENTRY(SendMessage, 0), ENTRY(SHGetPathFromIDList, FALSE),
    };
}

// ---- the rest of the system, answered in process ----

struct Shown { bool prompt; std::wstring text; };
std::vector<Shown> g_shown;
int g_promptAnswers = 0;
// A run starts with nothing shown and nothing answered.
void ForgetAnswers() {
    g_shown.clear();
    g_promptAnswers = 0;
    Removal.YesToAllState = -1;
}

// No to the question about a shared file; a run started whole answers its confirmation and final
// notice OK.
int g_boxAnswer = IDNO;
int WINAPI AnswerBox(HWND, LPCWSTR text, LPCWSTR, UINT) {
    g_shown.push_back({false, text ? text : L""});
    return g_boxAnswer;
}
// Yes to the read-only prompt; a prompt that keeps coming back for the same file would loop for
// ever with a user who always says Yes, so the third one is answered No and noted.
INT_PTR WINAPI AnswerPromptYes(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM text) {
    g_shown.push_back({true, text ? reinterpret_cast<const WCHAR*>(text) : L""});
    return ++g_promptAnswers < 3 ? IDYES : IDNO;
}
// Starting nothing keeps a case in process; the handles are events already set, so a wait on
// the "process" ends at once.
BOOL WINAPI PretendStart(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                         LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
    info->hProcess = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    info->hThread = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    info->dwProcessId = info->dwThreadId = 0;
    return TRUE;
}
// The font-change broadcast would reach every window of the shared test machine.
LRESULT WINAPI NoBroadcast(HWND, UINT, WPARAM, LPARAM) { return 0; }
// Every position the progress bar is sent, in order; nothing is broadcast.
std::vector<WPARAM> g_barPositions;
LRESULT WINAPI RecordBarPositions(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == HWND_BROADCAST) return 0;
    if (message == PBM_SETPOS) g_barPositions.push_back(wParam);
    return SendMessageW(window, message, wParam, lParam);
}
// Temporary copies the self-removal creates in the real temporary folder, for the clean-up.
std::vector<std::wstring> g_tempCopies;
HANDLE WINAPI NoteTempCopies(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD attributes, HANDLE tmpl) {
    HANDLE file = CreateFileW(path, access, share, security, disposition, attributes, tmpl);
    if (file != INVALID_HANDLE_VALUE && (disposition == CREATE_NEW || disposition == CREATE_ALWAYS) &&
        std::wstring(path).find(L"_uins") != std::wstring::npos)
        g_tempCopies.push_back(path);
    return file;
}

const wchar_t kKeyBase[] = L"Software\\UninstFaultInjection";

// One installation made afresh for each case, with a record of each kind on both sides of the
// one the failure hits first, so the records after it show whether the step went on.
struct Installation {
    std::wstring root, app, key;

    // light: only the files, for cases that run the running check and the file pass alone.
    bool Make(const TempFolder& dir, int number, bool light = false) {
        const std::wstring name = L"c" + std::to_wstring(number);
        root = dir.MakeFolder(name);
        app = root + L"\\app";
        key = std::wstring(kKeyBase) + L"\\" + name;
        for (const wchar_t* sub : {L"\\app\\sub", L"\\app\\sub3", L"\\menu\\prod", L"\\menu2"}) dir.MakeFolder(name + sub);
        for (const wchar_t* file : {L"\\sub\\last.txt", L"\\sub3\\x.txt", L"\\shared.dll", L"\\shared1.dll", L"\\ro.txt", L"\\font.ttf",
                                    L"\\guard.txt", L"\\first.txt"})
            if (!WriteFileBytes(app + file, Bytes(16, 'x'))) return false;
        if (!SetFileAttributesW((app + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY)) return false;
        if (!SetSharedCount(app + L"\\shared.dll", 2) || !SetSharedCount(app + L"\\shared1.dll", 1)) return false;
        if (light) return true;
        // From a copy in the test's folder: the build folder is a slow share on the test machine.
        const std::wstring server = dir.Join(L"server.dll");
        if (!Exists(server) && !CopyFileW(BinPath(L"com_record_dll.dll").c_str(), server.c_str(), FALSE)) return false;
        if (!CopyFileW(server.c_str(), (app + L"\\srv.dll").c_str(), FALSE)) return false;
        for (const wchar_t* file : {L"\\menu\\prod\\app.lnk", L"\\menu2\\last.lnk"})
            if (!WriteFileBytes(root + file, Bytes(4, 'l'))) return false;
        const HKEY hkcu = HKEY_CURRENT_USER;
        return MakeKey(hkcu, key + L"\\Tree\\A\\B") && MakeKey(hkcu, key + L"\\Values", {L"v1", L"v2"}) &&
               MakeKey(hkcu, key + L"\\Last");
    }

    // Puts back what a run changes outside the folders the next case makes afresh.
    void Reset() {
        SetFileAttributesW((app + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        SetSharedCount(app + L"\\shared.dll", std::nullopt);
        SetSharedCount(app + L"\\shared1.dll", std::nullopt);
        for (const std::wstring& copy : g_tempCopies) DeleteFileW(copy.c_str());
        g_tempCopies.clear();
    }

    uninstpack::UninstallData Data() const {
        uninstpack::UninstallData d = StandardData();
        d.files = {{u".\\sub", u"last.txt", 0},     {u".\\sub3", u"x.txt", 0},
                   {u".", u"shared.dll", kFileShared}, {u".", u"shared1.dll", kFileShared}, {u".", u"ro.txt", 0},
                   {u".", u"font.ttf", kFileFont},   {u".", u"srv.dll", kFileCom},
                   {u".", u"guard.txt", kFileInUseCheck}, {u".", u"first.txt", 0}};
        d.shortcuts = {{1, Utf16(root + L"\\menu\\prod"), u"", u"app.lnk"}, {0, Utf16(root + L"\\menu2"), u"", u"last.lnk"}};
        const uint32_t hkcu = 0x80000001;
        d.registry = {{hkcu, Utf16(key + L"\\Tree")}, {hkcu, Utf16(key + L"\\Values\\\\v1")}, {hkcu, Utf16(key + L"\\Last")}};
        d.settings.flags = kRunWaitForCommand;
        d.settings.command = u"\"tool.exe\" /now";
        d.settings.finishPage = u"https://example.invalid/done";
        return d;
    }
};

struct Outcome {
    bool laterRecordsHandled = true;
    std::string unexpected;  // first window that should not have appeared
};

class FaultInjection : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        Platform.IsNT6OrLater = true;  // regsvr32 first, the in-process call as its fallback
        Platform.ModuleInstance = GetModuleHandleW(nullptr);
        ConnectPassUi();
        g_boxAnswer = IDNO;
        // The copy takes the first DataOffset bytes of this test program.
        SetDataOffset(4096);  // as SetUp left it
    }
    void TearDown() override {
        ReleaseUninstallData();
        SetCurrentDirectoryW(savedDir_.c_str());
        DeleteTree(HKEY_CURRENT_USER, kKeyBase);
    }

    bool Load(const Installation& at) {
        uninstpack::UninstallData d = at.Data();
        if (!LoadRecords(d)) return false;
        Bytes settings = uninstpack::EncodeRunSettings(d.settings);
        if (!AllocBlock(settings.size(), &Data.RunSettings)) return false;
        memcpy(Data.RunSettings, settings.data(), settings.size());
        Data.RunSettingsSize = static_cast<DWORD>(settings.size());
        SetInstallDir(at.app);
        return true;
    }

    // The steps between the confirmation and the end of the run, in the run's order, each
    // starting the count of calls afresh.
    void RunSteps(bool fileStepsOnly = false) {
        const struct { const char* name; void (*run)(); } steps[] = {
            {"running check", [] { CheckFilesInUse(); }},
            {"command",
             [] {
                 PreRemovalCommand command;
                 if (PreparePreRemovalCommand(PreRemovalCommandText(), Paths.WorkPath, &command))
                     RunPreRemovalCommand(command.program, command.arguments, true);
                 FreeBlock(&command.block);
             }},
            {"file pass", RemoveInstalledFiles},
            {"shortcut files", RemoveShortcutFiles},
            {"shortcut folders", RemoveShortcutFolders},
            {"emptied folders", RemoveEmptiedFolders},
            {"registry pass", RemoveRegistryEntries},
            {"finish page", [] { OpenFinishPage(FinishPageText()); }},
            {"self-removal", [] { StartSelfRemoval(); }},
        };
        for (size_t i = 0; i < ARRAYSIZE(steps); ++i) {
            if (fileStepsOnly && i != 0 && i != 2) continue;
            g.callsInStep = 0;
            steps[i].run();
        }
    }

    // One case: a fresh installation, the failure in place for the steps only.
    // fileStepsOnly: the running check and the file pass alone, where the errors that the
    // primitives map make a difference.
    Outcome RunCase(const Entry& entry, DWORD error, bool always, bool fileStepsOnly) {
        Outcome outcome;
        Installation at;
        const LONG blocks = Heap.LiveBlockCount;
        if (!at.Make(dir_, ++cases_, fileStepsOnly) || !Load(at)) {
            ADD_FAILURE() << "cannot make the installation for " << entry.name;
            return outcome;
        }
        ForgetAnswers();

        entry.install();
        // A fresh resolution of the protected folders costs some 20 s on the test machine, so
        // only the case where every call fails makes the resolution meet the failure. The list
        // it leaves (some folders missing) serves the later cases: their folders lie in the
        // test's own folder, far from any protected one. The test drops it at its end.
        if (entry.resolvesFolders && always) ForgetProtectedFolders();
        g = Injection{true, always, error};
        RunSteps(fileStepsOnly);
        g.active = false;
        entry.restore();
        failedCalls_ = g.failed;

        SetCurrentDirectoryW(savedDir_.c_str());
        ReleaseUninstallData();
        if (Heap.LiveBlockCount != blocks)
            outcome.unexpected = std::to_string(Heap.LiveBlockCount - blocks) + " blocks left";

        const std::wstring prompt = FormatWith(StandardMessages()[9], at.app + L"\\ro.txt");
        const std::wstring question = FormatWith(StandardMessages()[10], at.app + L"\\shared.dll");
        const std::wstring lastReference = FormatWith(StandardMessages()[10], at.app + L"\\shared1.dll");
        int prompts = 0, lastReferenceQuestions = 0;
        for (const Shown& s : g_shown) {
            bool expected = s.prompt ? (s.text == prompt && ++prompts == 1)
                                     : ((s.text == lastReference && ++lastReferenceQuestions == 1) ||
                                        (entry.asksSharedQuestion && s.text == question));
            if (!expected && outcome.unexpected.empty())
                outcome.unexpected = (s.prompt ? "prompt '" : "box '") + Utf8(s.text) + "'";
        }

        if (!always) {
            outcome.laterRecordsHandled = !Exists(at.app + L"\\sub\\last.txt") &&
                                          (fileStepsOnly || (!Exists(at.app + L"\\sub3") && !Exists(at.root + L"\\menu2") &&
                                                             !KeyExists(HKEY_CURRENT_USER, at.key + L"\\Last")));
        }
        at.Reset();
        return outcome;
    }

    // Writes the uninstaller of `at` for a whole run of the program in process, which allocates
    // and frees path buffers of its own.
    bool BeginWholeRun(const Installation& at) {
        FakeModulePath = at.app + L"\\uninst.exe";
        if (!WriteUninstaller(FakeModulePath, uninstpack::EncodeStream(at.Data()))) return false;
        SetDataOffset(static_cast<DWORD>(UninstallerProgram().size()));
        ForgetAnswers();
        return true;
    }

    // Puts back what the run changed and the fixture relies on, and what the next case of the
    // same installation expects.
    void EndWholeRun(HINSTANCE instance, Installation& at) {
        // The run's shut-down released its path buffers, whatever failed.
        EXPECT_EQ(nullptr, Paths.InstallDir);
        EXPECT_EQ(nullptr, Paths.WorkPath);
        EXPECT_EQ(nullptr, Paths.ModulePath);
        UnregisterClassW(kMainWindowClass, instance);
        SetCurrentDirectoryW(savedDir_.c_str());
        SetDataOffset(4096);  // as SetUp left it
        Platform.IsNT6OrLater = true;  // the run set the flags from the system; the fixture wants these
        Paths = {installDir_, workPath_, modulePath_};
        at.Reset();
    }

    TempFolder dir_;
    int cases_ = 0;
    int failedCalls_ = 0;
    const std::wstring savedDir_ = CurrentDirectory();
    API_GUARD_MEMBER(MessageBox, AnswerBox);
    API_GUARD_MEMBER(DialogBoxParam, AnswerPromptYes);
    API_GUARD_MEMBER(CreateProcess, PretendStart);
    API_GUARD_MEMBER(ShellExecute, RecordShellExecute);
    API_GUARD_MEMBER(SendMessage, NoBroadcast);
    API_GUARD_MEMBER(CreateFile, NoteTempCopies);
};

}  // namespace

// Without a failure the scenario removes what the sentinels of the cases below look at, with
// no window but the read-only prompt and the question about a last reference: otherwise those
// checks would prove nothing.
TEST_F(FaultInjection, ScenarioWithoutFailureRemovesWhatTheCasesCheck) {
    Installation at;
    ASSERT_TRUE(at.Make(dir_, ++cases_));
    ASSERT_TRUE(Load(at));
    ForgetAnswers();
    RunSteps();
    SetCurrentDirectoryW(savedDir_.c_str());
    ReleaseUninstallData();
    EXPECT_FALSE(Exists(at.app + L"\\sub\\last.txt"));
    EXPECT_FALSE(Exists(at.app + L"\\sub3"));
    EXPECT_FALSE(Exists(at.app + L"\\ro.txt"));
    EXPECT_FALSE(Exists(at.root + L"\\menu2"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, at.key + L"\\Last"));
    EXPECT_TRUE(Exists(at.app + L"\\shared.dll")) << "one of two references released";
    EXPECT_TRUE(Exists(at.app + L"\\shared1.dll")) << "the question about its last reference was answered No";
    ASSERT_EQ(2u, g_shown.size());
    EXPECT_TRUE(g_shown[0].prompt);
    EXPECT_FALSE(g_shown[1].prompt);
    EXPECT_EQ(FormatWith(StandardMessages()[10], at.app + L"\\shared1.dll"), g_shown[1].text);
    EXPECT_EQ(1u, g_tempCopies.size()) << "the self-removal made its copy";
    at.Reset();
}

TEST_F(FaultInjection, EveryEntryFailingLeavesTheRunWhole) {
    std::printf("%-20s %-6s %-7s %7s  %s\n", "entry", "error", "fails", "failed", "result");
    int runs = 0, unreached = 0;
    for (const Entry& entry : Entries()) {
        int injected = 0;
        for (bool always : {false, true}) {
            // Every call failing is run with the first error only: with every call refused the
            // error no longer changes which way the code goes.
            const std::vector<DWORD> errors =
                always ? std::vector<DWORD>{entry.errors->front()} : *entry.errors;
            for (DWORD error : errors) {
                // Every step meets the first error; the others, which only the file primitives
                // tell apart, go through the steps that look at them.
                const bool fileStepsOnly = error != errors.front();
                Outcome outcome = RunCase(entry, error, always, fileStepsOnly);
                ++runs;
                injected += failedCalls_;
                const bool ok = outcome.unexpected.empty() && outcome.laterRecordsHandled;
                std::printf("%-20s %-6lu %-7s %7d  %s%s%s\n", entry.name, static_cast<unsigned long>(error),
                            always ? "always" : "first", failedCalls_,
                            fileStepsOnly ? "check and file pass completed" : "all steps completed",
                            always ? "" : (outcome.laterRecordsHandled ? ", later records handled" : ", LATER RECORDS LEFT"),
                            outcome.unexpected.empty() ? "" : (", FAULT: " + outcome.unexpected).c_str());
                EXPECT_TRUE(ok) << entry.name << " error " << error << (always ? " on every call" : " first")
                                << (outcome.laterRecordsHandled ? "" : ": records after the failure were left")
                                << (outcome.unexpected.empty() ? "" : ": " + outcome.unexpected);
            }
        }
        if (injected == 0) ++unreached;
        // Only the narrow platform loads a COM server through the table; every other entry must
        // really be reached by the steps, or its rows would prove nothing.
        if (std::string(entry.name) != "LoadLibrary")
            EXPECT_GT(injected, 0) << entry.name << " was never called by the steps";
    }
    ForgetProtectedFolders();
    std::printf("fault injection: %d runs, all completed; %d entries not reached\n", runs, unreached);
}

// A few whole runs of the program in process, silent (/S: no windows of its own, no finish page,
// no self-removal), each with one entry failing on every call: the run ends with exit code 0
// and the records the failure does not touch are still removed.
TEST_F(FaultInjection, SilentWholeRunsEndWithExitCodeZero) {
    if (!WholeRunRefusal().empty()) GTEST_SKIP() << WholeRunRefusal();
    API_GUARD(GetModuleFileName, FakeModuleFileName);
    const char* const failing[] = {"DeleteFile", "RemoveDirectory", "RegOpenKeyEx", "CreateProcess", "SetFileAttributes"};
    const std::vector<Entry> entries = Entries();
    for (const char* name : failing) {
        SCOPED_TRACE(name);
        const Entry* entry = nullptr;
        for (const Entry& e : entries)
            if (std::string(e.name) == name) entry = &e;
        ASSERT_NE(nullptr, entry);
        Installation at;
        ASSERT_TRUE(at.Make(dir_, ++cases_));
        ASSERT_TRUE(BeginWholeRun(at));
        const LONG blocks = Heap.LiveBlockCount;
        Session.Quiet = 1;
        Session.OptionS = 1;

        entry->install();
        if (entry->resolvesFolders) ForgetProtectedFolders();
        g = Injection{true, true, entry->errors->front()};
        const int exitCode = RunUninstaller(GetModuleHandleW(nullptr));
        g.active = false;
        entry->restore();
        if (entry->resolvesFolders) ForgetProtectedFolders();
        const LONG blocksAfter = Heap.LiveBlockCount;
        EndWholeRun(GetModuleHandleW(nullptr), at);

        EXPECT_EQ(0, exitCode);
        EXPECT_GT(g.failed, 0) << "the failure was never injected";
        EXPECT_EQ(blocks, blocksAfter) << "blocks left after the run";
        const std::wstring question = FormatWith(StandardMessages()[10], at.app + L"\\shared1.dll");
        for (const Shown& shown : g_shown)
            if (!shown.prompt && shown.text != question && !(entry->asksSharedQuestion))
                ADD_FAILURE() << "shown: " << Utf8(shown.text);
        // What the failing entry does not take part in still goes.
        if (std::string(name) != "RegOpenKeyEx") EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, at.key + L"\\Last"));
        if (std::string(name) != "DeleteFile" && std::string(name) != "RemoveDirectory")
            EXPECT_FALSE(Exists(at.root + L"\\menu2"));
        if (std::string(name) != "DeleteFile") EXPECT_FALSE(Exists(at.app + L"\\sub\\last.txt"));
    }
}

// An interactive run (/X: it keeps the uninstaller, so no copy is started) with its progress
// dialog: the bar ends full. Each pass reports the record it has just finished counted from 0,
// so without the final report the bar would stop short of the end.
TEST_F(FaultInjection, InteractiveWholeRunEndsWithTheBarFull) {
    if (!WholeRunRefusal().empty()) GTEST_SKIP() << WholeRunRefusal();
    API_GUARD(GetModuleFileName, FakeModuleFileName);
    API_GUARD(SendMessage, RecordBarPositions);
    g_boxAnswer = IDOK;
    // The dialogs come from the program's own resources, which this test program lacks.
    HMODULE resources = LoadLibraryExW(BinPath(L"uninst.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, resources);
    Installation at;
    ASSERT_TRUE(at.Make(dir_, ++cases_));
    ASSERT_TRUE(BeginWholeRun(at));
    Session.Quiet = 0;
    Session.OptionX = 1;
    g_barPositions.clear();

    const int exitCode = RunUninstaller(resources);

    EndWholeRun(resources, at);
    FreeLibrary(resources);

    EXPECT_EQ(0, exitCode);
    ASSERT_FALSE(g_shown.empty());
    EXPECT_EQ(Wide(StandardMessages()[1]), g_shown.front().text) << "the run was confirmed first";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, at.key + L"\\Last")) << "the passes ran to the end";
    ASSERT_GE(g_barPositions.size(), 2u);
    EXPECT_EQ(100u, g_barPositions.back());
    EXPECT_LT(g_barPositions[g_barPositions.size() - 2], 100u) << "the last pass alone does not fill the bar";
}
