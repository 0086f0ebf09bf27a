// Tests of the self-removal: the temporary copy and its name, what it holds and how it is
// started, its deletion at restart (the NT registration and the WININIT.INI lines), the copy's
// own deletion loop; and end-to-end runs of the real uninst.exe for the steps each option
// keeps or suppresses: the pre-removal command, the finish page and the self-removal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/data_locator.h"
#include "data/memory_ops.h"
#include "folders/resolve_folder.h"
#include "run/self_removal.h"
#include "support/api_guard.h"
#include "support/member_guard.h"
#include "support/record_run.h"
#include "support/temp_copy_test.h"
#include "support/uninst_runner.h"

using uninstpack::Bytes;

namespace {

Bytes Pattern(size_t cb) {
    Bytes bytes(cb);
    for (size_t i = 0; i < cb; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

// ---- fakes for the in-process tests ----

int g_createCalls = 0;
std::wstring g_lastCreated;
HANDLE WINAPI RefuseCreateFile(LPCWSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    ++g_createCalls;
    g_lastCreated = name;
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

class SelfRemoval : public TempCopyTest {
protected:
    void SetUp() override {
        TempCopyTest::SetUp();
        g_createCalls = 0;
    }
};

// ---- the temporary copy's name ----

TEST_F(SelfRemoval, TempCopyTakesTheFirstFreeNumber) {
    ASSERT_TRUE(WriteFileBytes(Copy(1), Bytes(3, 1)));
    ASSERT_TRUE(WriteFileBytes(Copy(2), Bytes(3, 2)));
    for (const std::wstring& reported : {temp_ + L"\\", temp_}) {
        SCOPED_TRACE(Utf8(reported));
        FakeTempFolder = reported;
        WCHAR buffer[MAX_PATH];
        HANDLE file = CreateTempCopyFile(buffer, L"_uins%d.exe");
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
        EXPECT_EQ(Utf8(Copy(3)), Utf8(buffer));
        EXPECT_EQ(3u, ReadFileBytes(Copy(1)).size()) << "an existing copy was overwritten";
        ASSERT_TRUE(dir_.Remove(Copy(3)));
    }
}

TEST_F(SelfRemoval, TempCopyTriesAtMost998NamesAndNeverACutOne) {
    API_GUARD(CreateFile, RefuseCreateFile);
    API_GUARD(FindFirstFile, FindNothing);
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateTempCopyFile(buffer, L"_uins%d.exe"));
    EXPECT_EQ(998, g_createCalls);
    EXPECT_EQ(Utf8(Copy(998)), Utf8(g_lastCreated));

    // "_uins1.exe" is 10 characters and "_uins10.exe" 11; the path buffer holds 259.
    struct Case { size_t cchTemp; int creates; };
    for (const Case& c : {Case{249, 9}, Case{250, 0}}) {
        SCOPED_TRACE(c.cchTemp);
        FakeTempFolder = L"C:\\" + std::wstring(c.cchTemp - 4, L't') + L"\\";
        g_createCalls = 0;
        g_lastCreated.clear();
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateTempCopyFile(buffer, L"_uins%d.exe"));
        EXPECT_EQ(c.creates, g_createCalls);
        if (c.creates) EXPECT_EQ(Utf8(FakeTempFolder + L"_uins9.exe"), Utf8(g_lastCreated));
    }
}

TEST_F(SelfRemoval, TempCopyNameFillsItsBufferOrIsRefused) {
    API_GUARD(CreateFile, RefuseCreateFile);
    API_GUARD(FindFirstFile, FindNothing);
    FakeTempFolder = temp_ + L"\\";
    // The name buffer holds 31 characters and the terminator; the number of a refused name
    // is never tried with a longer one.
    struct Case { std::wstring pattern; int creates; std::wstring lastName; } cases[] = {
        {std::wstring(28, L'n') + L"%d", 998, std::wstring(28, L'n') + L"998"},
        {std::wstring(29, L'n') + L"%d", 99, std::wstring(29, L'n') + L"99"},
        {std::wstring(30, L'n') + L"%d", 9, std::wstring(30, L'n') + L"9"},
        {std::wstring(31, L'n') + L"%d", 0, L""},
        {L"a%db%d", 998, L"a998b%d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.pattern));
        g_createCalls = 0;
        g_lastCreated.clear();
        WCHAR buffer[MAX_PATH];
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateTempCopyFile(buffer, c.pattern.c_str()));
        EXPECT_EQ(c.creates, g_createCalls);
        if (c.creates) EXPECT_EQ(Utf8(FakeTempFolder + c.lastName), Utf8(g_lastCreated));
    }
}

// ---- starting the copy ----

class StartCopy : public SelfRemoval {
protected:
    void SetUp() override {
        SelfRemoval::SetUp();
        PlaceProgram(L"my app", program_, 3000);
    }
    const Bytes program_ = Pattern(5000);
    API_GUARD_MEMBER(ShellExecute, RecordShellExecute);  // a started copy is recorded, never run
};

TEST_F(StartCopy, CopyHoldsTheProgramPartAndIsStartedWithTheQuotedPath) {
    ASSERT_TRUE(WriteFileBytes(Copy(1), Bytes(3, 1)));
    ASSERT_TRUE(WriteFileBytes(Copy(2), Bytes(3, 2)));

    EXPECT_TRUE(StartSelfRemoval());
    EXPECT_EQ(Bytes(program_.begin(), program_.begin() + 3000), ReadFileBytes(Copy(3)));
    EXPECT_TRUE(ScheduledForDeletion(Copy(3)));
    ASSERT_EQ(1, LastShellOpen.calls);
    EXPECT_EQ("open", Utf8(LastShellOpen.operation));
    EXPECT_EQ(Utf8(Copy(3)), Utf8(LastShellOpen.file));
    EXPECT_EQ(Utf8(L"/D\"" + FakeModulePath + L"\""), Utf8(LastShellOpen.parameters));
    EXPECT_EQ("(null)", Utf8(LastShellOpen.directory));
    EXPECT_EQ(SW_HIDE, LastShellOpen.show);
}

TEST_F(StartCopy, IncompleteCopyIsNotStartedButStaysScheduled) {
    struct Case { const char* name; DWORD offset; LONG failingAllocation; bool ownFileThere; };
    const Case cases[] = {
        {"program part longer than the file", 5001, 0, true},
        {"no block for the bytes", 3000, 1, true},
        {"no data offset", 0, 0, true},
        {"own file missing", 3000, 0, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++n;
        SetDataOffset(c.offset);
        if (!c.ownFileThere) ASSERT_TRUE(dir_.Remove(FakeModulePath));
        Heap.FailAllocationCountdown = c.failingAllocation;
        LastShellOpen = ShellOpen();
        EXPECT_FALSE(StartSelfRemoval());
        EXPECT_EQ(0, LastShellOpen.calls) << "a partial program was started";
        EXPECT_TRUE(Exists(Copy(n)));
        EXPECT_TRUE(ScheduledForDeletion(Copy(n)));
    }
}

TEST_F(StartCopy, NoFreeNameMeansNoCopy) {
    API_GUARD(FindFirstFile, FindNothing);
    API_GUARD(CreateFile, RefuseCreateFile);
    EXPECT_FALSE(StartSelfRemoval());
    EXPECT_EQ(998, g_createCalls);
    EXPECT_EQ(0, LastShellOpen.calls);
    EXPECT_FALSE(ScheduledForDeletion(Copy(998)));
}

// ---- WININIT.INI on systems without MoveFileEx ----

TEST_F(SelfRemoval, WininitGainsOneNulLinePerFileAndKeepsOtherLines) {
    API_GUARD(GetWindowsDirectory, FakeWindowsDirectory);
    Platform.IsNT = false;
    FakeWindowsFolder = dir_.MakeFolder(L"windows");
    const std::wstring ini = FakeWindowsFolder + L"\\WININIT.INI";
    const std::string earlier = "[Rename]\r\nNUL=C:\\OLD.TMP\r\nfooxyz=C:\\X.TMP\r\n";
    ASSERT_TRUE(WriteFileBytes(ini, Bytes(earlier.begin(), earlier.end())));
    const std::wstring first = temp_ + L"\\first copy of it.exe";
    const std::wstring second = temp_ + L"\\second copy of it.exe";
    ASSERT_TRUE(WriteFileBytes(first, Bytes(4, 1)));
    ASSERT_TRUE(WriteFileBytes(second, Bytes(4, 2)));

    auto shortAnsi = [](const std::wstring& path) {
        WCHAR shortPath[MAX_PATH];
        DWORD cch = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
        char ansi[MAX_PATH * 2] = {};
        if (cch > 0 && cch < MAX_PATH) WideCharToMultiByte(CP_ACP, 0, shortPath, -1, ansi, sizeof(ansi), NULL, NULL);
        return std::string(ansi);
    };
    ASSERT_NE("", shortAnsi(first));
    ASSERT_NE(shortAnsi(first), shortAnsi(second));

    EXPECT_TRUE(DeleteAtRestart(first.c_str()));
    EXPECT_TRUE(DeleteAtRestart(second.c_str()));
    EXPECT_FALSE(DeleteAtRestart((temp_ + L"\\missing.exe").c_str())) << "no short path, nothing to schedule";

    Bytes bytes = ReadFileBytes(ini);
    std::string text(bytes.begin(), bytes.end());
    SCOPED_TRACE(text);
    EXPECT_NE(std::string::npos, text.find("NUL=C:\\OLD.TMP\r\n"));
    EXPECT_NE(std::string::npos, text.find("fooxyz=C:\\X.TMP"));
    EXPECT_NE(std::string::npos, text.find("\nNUL=" + shortAnsi(first) + "\r\n"));
    EXPECT_NE(std::string::npos, text.find("\nNUL=" + shortAnsi(second) + "\r\n"));
    EXPECT_EQ(std::string::npos, text.find("\nxyz="));
    EXPECT_EQ(1u, text.find("Rename]")) << "a second section was made";
}

// ---- the copy's own work ----

struct DeleteRecord {
    int attempts = 0;
    int succeedOn = 0;  // 0: never
    std::vector<std::wstring> removedDirs;
};
DeleteRecord g_delete;

BOOL WINAPI CountedDeleteFile(LPCWSTR) {
    ++g_delete.attempts;
    if (g_delete.attempts == g_delete.succeedOn) return TRUE;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}
BOOL WINAPI RecordRemoveDirectory(LPCWSTR path) {
    g_delete.removedDirs.push_back(path);
    return TRUE;
}

TEST_F(SelfRemoval, HelperRetriesTwelveTimesThenRemovesOnlyAnOrdinaryFolder) {
    API_GUARD(DeleteFile, CountedDeleteFile);
    API_GUARD(RemoveDirectory, RecordRemoveDirectory);
    WCHAR desktop[MAX_PATH] = {};
    ASSERT_TRUE(ResolveFolder(desktop, CSIDL_DESKTOPDIRECTORY));
    const std::wstring app = dir_.MakeFolder(L"my app");
    struct Case {
        std::wstring path;
        int succeedOn, attempts;
        std::vector<std::wstring> removedDirs;
    };
    // Each failed attempt costs a second of the copy's own pause.
    const Case cases[] = {
        {app + L"\\missing.exe", 0, 12, {app}},
        {app + L"\\uninst.exe", 3, 3, {app}},
        {L"uninst.exe", 1, 1, {}},
        {L"C:\\uninst.exe", 1, 1, {}},
        {std::wstring(desktop) + L"\\uninst.exe", 1, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.path));
        g_delete = DeleteRecord();
        g_delete.succeedOn = c.succeedOn;
        WCHAR path[MAX_PATH];
        wcscpy(path, c.path.c_str());
        RemovalHelperMode(path);
        EXPECT_EQ(c.attempts, g_delete.attempts);
        EXPECT_EQ(c.removedDirs, g_delete.removedDirs);
    }
}

// ---- end-to-end runs of the real uninst.exe ----

// An installation folder with a blank in its name, a tools folder beside it for the command
// and the finish page, and a temp folder of its own that the uninstaller inherits as TMP.
class UninstallerRun : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::wstring& copy : EntryNames(temp_ + L"\\_uins*.exe")) Unschedule(temp_ + L"\\" + copy);
    }

    TempFolder dir_;
    const std::wstring install_ = dir_.MakeFolder(L"my app"), tools_ = dir_.MakeFolder(L"tool dir"),
                       temp_ = dir_.MakeFolder(L"temp"), exe_ = install_ + L"\\uninst.exe";
    // Names of the test's commands, unique to the test.
    const std::wstring suffix_ = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial_) + L".exe";
    ScopedEnvironment tmp_{L"TMP", temp_}, tempVariable_{L"TEMP", temp_};
    static inline int serial_ = 0;
};

TEST_F(UninstallerRun, QuietRunRunsTheCommandOpensThePageAndRemovesItself) {
    RecordedRun command, page;
    ASSERT_TRUE(command.Place(tools_, L"cmd-" + suffix_));
    ASSERT_TRUE(page.Place(tools_, L"page-" + suffix_));
    SetEvent(page.Gate());
    uninstpack::UninstallData data = StandardData();
    data.settings.flags = 1;  // wait for the command
    data.settings.command = Utf16(L"\"..\\tool dir\\cmd-" + suffix_ + L"\" /u \"x y\"");
    data.settings.finishPage = Utf16(page.Exe());
    ASSERT_TRUE(WriteUninstaller(exe_, uninstpack::EncodeStream(data)));
    ASSERT_TRUE(WriteFileBytes(temp_ + L"\\_uins1.exe", Bytes(3, 1)));
    ASSERT_TRUE(WriteFileBytes(temp_ + L"\\_uins2.exe", Bytes(3, 2)));

    JobRun run;
    ASSERT_TRUE(run.Start(exe_, L"/Q"));
    ASSERT_TRUE(WaitForPath(command.LogPath()));
    // The command holds the run until it ends: nothing after it may have happened yet.
    EXPECT_TRUE(run.Running());
    EXPECT_FALSE(page.Started());
    EXPECT_TRUE(Exists(exe_));
    SetEvent(command.Gate());
    EXPECT_EQ(0u, run.Wait());

    EXPECT_TRUE(WaitForGone(exe_, 15000)) << "the uninstaller is still there";
    EXPECT_TRUE(WaitForGone(install_, 15000)) << "the installation folder is still there";
    // The copy must have ended before its folder is cleaned up. (Wine's shell may start a
    // helper process of its own, so the processes are not counted here.)
    ASSERT_TRUE(run.WaitForActive(0));

    std::vector<std::wstring> log = command.Log();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(Utf8(L"\"" + install_ + L"\\..\\tool dir\\cmd-" + suffix_ + L"\" /u \"x y\""), Utf8(log[0]));
    EXPECT_EQ(0, _wcsicmp(tools_.c_str(), log[1].c_str())) << Utf8(log[1]);
    log = page.Log();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(0, _wcsicmp(tools_.c_str(), log[1].c_str())) << "finish page's working directory " << Utf8(log[1]);

    const std::wstring copy = temp_ + L"\\_uins3.exe";
    EXPECT_EQ(UninstallerProgram().size(), ReadFileBytes(copy).size());
    EXPECT_FALSE(Exists(temp_ + L"\\_uins4.exe"));
    EXPECT_TRUE(ScheduledForDeletion(copy));
}

TEST_F(UninstallerRun, OptionsSAndXKeepTheUninstaller) {
    struct Case { const wchar_t* options; bool command; };
    const Case cases[] = {{L"/S", true}, {L"/X", false}, {L"/S /X", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.options));
        RecordedRun command, page;
        const std::wstring tag = std::wstring(1, c.options[1]) + (c.options[2] ? L"X-" : L"-");
        ASSERT_TRUE(command.Place(tools_, L"cmd-" + tag + suffix_));
        ASSERT_TRUE(page.Place(tools_, L"page-" + tag + suffix_));
        SetEvent(page.Gate());
        uninstpack::UninstallData data = StandardData();
        data.settings.flags = 0;  // do not wait
        data.settings.command = Utf16(L"\"..\\tool dir\\" + command.Exe().substr(tools_.size() + 1) + L"\"");
        data.settings.finishPage = Utf16(page.Exe());
        ASSERT_TRUE(WriteUninstaller(exe_, uninstpack::EncodeStream(data)));

        JobRun run;
        ASSERT_TRUE(run.Start(exe_, c.options));
        // The command's gate is still shut: a run that waited for it could not end.
        EXPECT_EQ(0u, run.Wait());
        EXPECT_FALSE(command.Ended());
        ASSERT_TRUE(run.WaitForActive(c.command ? 1 : 0));
        EXPECT_EQ(c.command ? 2u : 1u, run.Accounting().TotalProcesses) << "processes the run started";
        if (c.command) EXPECT_TRUE(WaitForPath(command.LogPath()));
        SetEvent(command.Gate());
        ASSERT_TRUE(run.WaitForActive(0));
        EXPECT_FALSE(page.Started());
        EXPECT_TRUE(Exists(exe_));
        EXPECT_TRUE(EntryNames(temp_ + L"\\_uins*.exe").empty());
    }
}

}  // namespace
