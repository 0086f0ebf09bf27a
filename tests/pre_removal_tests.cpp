// Tests of the pre-removal command and the finish page, in the test process: how the stored
// command becomes a program and its arguments, what is refused rather than cut, the command
// line and folder the program is started with, the wait, and how the finish page is opened.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "run/pre_removal.h"
#include "support/api_guard.h"
#include "support/program_test.h"
#include "support/record_run.h"
#include "support/uninst_runner.h"

namespace {

// Every test ends with the blocks it took released and the current directory where it was.
class PathBuffers : public ProgramTest {
protected:
    void SetUp() override { SetInstallDir(L"C:\\App Dir"); }
    void TearDown() override {
        EXPECT_EQ(blocks_, Heap.LiveBlockCount) << "a block was not released";
        EXPECT_EQ(Utf8(startDir_), Utf8(CurrentDirectory())) << "the current directory changed";
    }

    const LONG blocks_ = Heap.LiveBlockCount;
    const std::wstring startDir_ = CurrentDirectory();
};

// ---- preparing the command ----

using PreRemovalCommandText = PathBuffers;

TEST_F(PreRemovalCommandText, BecomesProgramAndArguments) {
    // As the expansion gives them: no trailing backslash.
    const std::wstring programFiles = ShellFolder(CSIDL_PROGRAM_FILES), windows = WindowsFolder();
    ASSERT_FALSE(programFiles.empty());
    ASSERT_FALSE(windows.empty());
    struct Case {
        std::wstring text, program, arguments;
        bool expanded;  // the result lives in a block of its own, not in WorkPath
    };
    const Case cases[] = {
        {L"\"tools\\setup.exe\" /u /quiet", L"C:\\App Dir\\tools\\setup.exe", L"/u /quiet", false},
        {L"\"  tools\\setup.exe  \"   -x  y", L"C:\\App Dir\\tools\\setup.exe", L"-x  y", false},
        {L"\"tools\\setup.exe\"", L"C:\\App Dir\\tools\\setup.exe", L"", false},
        {L"\"tools\\setup.exe\"   ", L"C:\\App Dir\\tools\\setup.exe", L"", false},
        {L"\"tools\\setup.exe\"/u", L"C:\\App Dir\\tools\\setup.exe", L"/u", false},
        {L"tools\\my setup.exe /u", L"C:\\App Dir\\tools\\my setup.exe /u", L"", false},
        {L"#Foo#\\setup.exe", L"C:\\App Dir\\#Foo#\\setup.exe", L"", false},
        {L"\" #Foo#\\setup.exe\" a", L"C:\\App Dir\\#Foo#\\setup.exe", L"a", false},
        {L"\"#Program Files#\\Vendor App\\clean.exe\" /all", programFiles + L"\\Vendor App\\clean.exe", L"/all", true},
        {L"\"  #program files#\\x.exe \" /all", programFiles + L"\\x.exe", L"/all", true},
        {L"#Windows#\\notepad.exe", windows + L"\\notepad.exe", L"", true},
        {L"#InstallDir#\\bin\\x.exe", L"C:\\App Dir\\bin\\x.exe", L"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.text));
        PreRemovalCommand command;
        ASSERT_TRUE(PreparePreRemovalCommand(c.text.c_str(), Paths.WorkPath, &command));
        EXPECT_EQ(Utf8(c.program), Utf8(command.program));
        EXPECT_EQ(Utf8(c.arguments), Utf8(command.arguments));
        EXPECT_EQ(c.expanded, command.block != nullptr);
        FreeBlock(&command.block);
    }
}

TEST_F(PreRemovalCommandText, WhatCannotBeStartedWholeIsRefused) {
    // InstallDir is 11 characters; WorkPath holds 259 with the terminator.
    const std::wstring fill(259 - 11 - 4, L'a');  // with ".exe": exactly 259
    struct Case { const char* name; std::wstring text; bool prepared; };
    const Case cases[] = {
        {"quoted, no closing quote", L"\"tools\\setup.exe /u", false},
        {"macro, no closing quote", L"\"#Windows#\\x.exe /u", false},
        {"empty quotes", L"\"\" /u", false},
        {"only blanks in quotes", L"\"   \" /u", false},
        {"empty text", L"", false},
        {"relative, fits WorkPath exactly", fill + L".exe", true},
        {"relative, one too long", fill + L"a.exe", false},
        {"quoted, fits WorkPath exactly", L"\"" + fill.substr(2) + L".exe\"", true},
        {"quoted, one too long", L"\"" + fill.substr(1) + L".exe\"", false},
        {"macro text of 527 characters", L"#Windows#\\" + std::wstring(527 - 10, L'b'), true},
        {"macro text of 528 characters", L"#Windows#\\" + std::wstring(528 - 10, L'b'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PreRemovalCommand command;
        EXPECT_EQ(c.prepared, PreparePreRemovalCommand(c.text.c_str(), Paths.WorkPath, &command));
        if (!c.prepared) {
            EXPECT_EQ(nullptr, command.block);
            EXPECT_EQ(nullptr, command.program);
        }
        FreeBlock(&command.block);
    }
}

TEST_F(PreRemovalCommandText, ExpansionWithoutItsBlockIsRefused) {
    // The length query's work buffer is the first allocation, the expansion's block the second.
    Heap.FailAllocationCountdown = 2;
    PreRemovalCommand command;
    EXPECT_FALSE(PreparePreRemovalCommand(L"\"#Windows#\\notepad.exe\" /x", Paths.WorkPath, &command));
    EXPECT_EQ(0, Heap.FailAllocationCountdown) << "the failure was not reached";
    EXPECT_EQ(nullptr, command.block);
    EXPECT_EQ(nullptr, command.program);
    EXPECT_EQ(std::string(), Utf8(workPath_)) << "taken relative to InstallDir instead";
}

// ---- starting the command, with CreateProcess recorded ----

struct StartRecord {
    int calls = 0;
    std::wstring application = L"?", commandLine, currentDir;
    BOOL inherit = FALSE;
    DWORD flags = 0;
    DWORD startupSize = 0;
};
StartRecord g_start;

BOOL WINAPI RecordCreateProcess(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                BOOL inherit, DWORD flags, LPVOID, LPCWSTR, LPSTARTUPINFOW startup,
                                LPPROCESS_INFORMATION) {
    ++g_start.calls;
    g_start.application = application ? application : L"(null)";
    g_start.commandLine = commandLine ? commandLine : L"(null)";
    g_start.currentDir = CurrentDirectory();
    g_start.inherit = inherit;
    g_start.flags = flags;
    g_start.startupSize = startup ? startup->cb : 0;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

using PreRemovalStart = PathBuffers;

TEST_F(PreRemovalStart, QuotesTheProgramAndRunsItInItsFolder) {
    TempFolder dir;
    const std::wstring tools = dir.MakeFolder(L"tool dir");
    API_GUARD(CreateProcess, RecordCreateProcess);
    struct Case { std::wstring program, arguments, commandLine, currentDir; };
    const Case cases[] = {
        {tools + L"\\run me.exe", L"/x \"a b\"", L"\"" + tools + L"\\run me.exe\" /x \"a b\"", tools},
        {tools + L"\\run me.exe", L"", L"\"" + tools + L"\\run me.exe\"", tools},
        {L"C:\\run.exe", L"-q", L"\"C:\\run.exe\" -q", L"C:\\"},
        {L"run.exe", L"", L"\"run.exe\"", startDir_},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.commandLine));
        g_start = StartRecord();
        EXPECT_FALSE(RunPreRemovalCommand(c.program.c_str(), c.arguments.c_str(), true));
        ASSERT_EQ(1, g_start.calls);
        EXPECT_EQ(Utf8(c.commandLine), Utf8(g_start.commandLine));
        EXPECT_EQ(0, _wcsicmp(c.currentDir.c_str(), g_start.currentDir.c_str())) << Utf8(g_start.currentDir);
        EXPECT_EQ("(null)", Utf8(g_start.application));
        EXPECT_TRUE(g_start.inherit);
        EXPECT_EQ((DWORD)NORMAL_PRIORITY_CLASS, g_start.flags);
        EXPECT_EQ(68u, g_start.startupSize);
        EXPECT_EQ(Utf8(startDir_), Utf8(CurrentDirectory()));
    }
}

TEST_F(PreRemovalStart, CommandLineOrFolderThatWouldNotFitIsNotStarted) {
    API_GUARD(CreateProcess, RecordCreateProcess);
    // The command line holds 527 characters: two quotes, the program, a blank, the arguments.
    const std::wstring program = L"C:\\tool.exe";  // 11
    const size_t cchArgs = 527 - 2 - 11 - 1;
    // The program's folder is made from a copy of the program in 268 characters.
    const std::wstring longProgram = L"C:\\" + std::wstring(267 - 3 - 4, L'p') + L".exe";
    struct Case { const char* name; std::wstring program, arguments; bool started; };
    const Case cases[] = {
        {"command line fits", program, std::wstring(cchArgs - 1, L'a'), true},
        {"command line fits exactly", program, std::wstring(cchArgs, L'a'), true},
        {"command line one too long", program, std::wstring(cchArgs + 1, L'a'), false},
        {"program of 267 characters", longProgram, L"", true},
        {"program of 268 characters", longProgram + L"x", L"", false},
        {"no program", L"", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_start = StartRecord();
        EXPECT_FALSE(RunPreRemovalCommand(c.program.c_str(), c.arguments.c_str(), false));
        EXPECT_EQ(c.started ? 1 : 0, g_start.calls);
        if (c.started) {
            std::wstring expected = L"\"" + c.program + L"\"" + (c.arguments.empty() ? L"" : L" " + c.arguments);
            EXPECT_EQ(Utf8(expected), Utf8(g_start.commandLine));
        }
    }
    for (LONG failing = 1; failing <= 2; ++failing) {
        SCOPED_TRACE(failing == 1 ? "no command-line block" : "no directory block");
        g_start = StartRecord();
        Heap.FailAllocationCountdown = failing;
        EXPECT_FALSE(RunPreRemovalCommand(program.c_str(), L"", false));
        EXPECT_EQ(0, g_start.calls);
    }
}

// ---- starting the command for real (record_run.exe records how it was started; the
// end-to-end runs show that without the wait the run goes on while the command runs) ----

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        *reinterpret_cast<volatile LONG*>(GetWindowLongPtrW(window, GWLP_USERDATA)) = 1;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct WaitProbe {
    std::wstring log;
    HWND window;
    HANDLE gate;
    volatile LONG dispatched = 0;
    volatile LONG returned = 0;
    LONG returnedBeforeRelease = -1;
};

// While the command blocks on its gate: posts a message that only the waiting thread's pump
// can deliver, waits for its delivery, notes whether the call had already returned, and only
// then lets the command end.
DWORD WINAPI ReleaseAfterPump(void* parameter) {
    WaitProbe* probe = static_cast<WaitProbe*>(parameter);
    if (WaitForPath(probe->log)) {
        PostMessageW(probe->window, WM_APP, 0, 0);
        for (DWORD waited = 0; !probe->dispatched && waited < kChildBoundMs; waited += 20) Sleep(20);
    }
    probe->returnedBeforeRelease = probe->returned;
    SetEvent(probe->gate);
    return 0;
}

TEST_F(PreRemovalStart, WaitsForTheEndWhileServingMessages) {
    TempFolder dir;
    const std::wstring tools = dir.MakeFolder(L"tool dir");
    RecordedRun recorder;
    ASSERT_TRUE(recorder.Place(tools, L"cmd-" + std::to_wstring(GetCurrentProcessId()) + L".exe"));

    WNDCLASSW wc = {};
    wc.lpfnWndProc = ProbeWindowProc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"PreRemovalWaitProbe";
    RegisterClassW(&wc);
    WaitProbe probe;
    probe.log = recorder.LogPath();
    probe.gate = recorder.Gate();
    probe.window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
    ASSERT_NE(nullptr, probe.window);
    SetWindowLongPtrW(probe.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&probe.dispatched));

    HANDLE thread = CreateThread(NULL, 0, ReleaseAfterPump, &probe, 0, NULL);
    ASSERT_NE(nullptr, thread);
    // record_run ends with exit code 259 (STILL_ACTIVE): the wait must still see its end.
    bool started = RunPreRemovalCommand(recorder.Exe().c_str(), L"/x \"a b\"", true);
    probe.returned = 1;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, kChildBoundMs));
    CloseHandle(thread);
    DestroyWindow(probe.window);

    EXPECT_TRUE(started);
    EXPECT_EQ(1, probe.dispatched) << "no messages were served during the wait";
    EXPECT_EQ(0, probe.returnedBeforeRelease) << "returned while the command was still running";
    EXPECT_TRUE(recorder.Ended()) << "returned before the command ended";
    std::vector<std::wstring> log = recorder.Log();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(Utf8(L"\"" + recorder.Exe() + L"\" /x \"a b\""), Utf8(log[0]));
    EXPECT_EQ(0, _wcsicmp(tools.c_str(), log[1].c_str())) << Utf8(log[1]);
}

// ---- the finish page, with ShellExecute recorded ----

using FinishPage = PathBuffers;

TEST_F(FinishPage, WebAddressHasNoWorkingDirectoryAndAFileHasItsFolder) {
    API_GUARD(ShellExecute, RecordShellExecute);
    const std::wstring fits(259 - 5, L'd');
    struct Case { std::wstring target, directory; };
    const Case cases[] = {
        {L"http://example.com/a\\b", L"(null)"},
        {L"HtTpS://Example.com/x\\y", L"(null)"},
        {L"C:\\Docs Dir\\read me.html", L"C:\\Docs Dir"},
        {L"C:\\readme.html", L"C:\\"},
        {L"readme.html", L"(null)"},
        {L"http:\\\\host\\page.html", L"http:\\\\host"},
        {L"http", L"(null)"},
        {L"C:\\" + fits + L"\\x", L"C:\\" + fits},  // 259 characters: fits exactly
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.target));
        LastShellOpen = ShellOpen();
        OpenFinishPage(c.target.c_str());
        ASSERT_EQ(1, LastShellOpen.calls);
        EXPECT_EQ("open", Utf8(LastShellOpen.operation));
        EXPECT_EQ(Utf8(c.target), Utf8(LastShellOpen.file));
        EXPECT_EQ("(null)", Utf8(LastShellOpen.parameters));
        EXPECT_EQ(Utf8(c.directory), Utf8(LastShellOpen.directory));
        EXPECT_EQ(SW_SHOW, LastShellOpen.show);
    }
}

TEST_F(FinishPage, TargetBeyondTheWorkingCopyOrWithoutMemoryIsNotOpened) {
    API_GUARD(ShellExecute, RecordShellExecute);
    const std::wstring tooLong = L"C:\\" + std::wstring(260 - 5, L'd') + L"\\x";  // 260 characters
    LastShellOpen = ShellOpen();
    OpenFinishPage(tooLong.c_str());
    EXPECT_EQ(0, LastShellOpen.calls) << "opened with a cut working directory";

    Heap.FailAllocationCountdown = 1;
    OpenFinishPage(L"C:\\Docs\\readme.html");
    EXPECT_EQ(0, LastShellOpen.calls);
}

}  // namespace
