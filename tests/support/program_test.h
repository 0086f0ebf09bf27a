// The start-up a test of the program's own code needs, as the entry point's start-up leaves the
// process: the platform selected (tests/environment, before the first test), path buffers of the
// test's own, all empty, and the program's state put back when the test ends. WindowedTest adds
// the program's resources, the standard messages and the hidden main window, for code that shows
// something.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "data/uninstall_data.h"
#include "platform/api_table.h"
#include "removal/progress.h"
#include "run/session.h"
#include "run/ui_windows.h"

// The program's state, saved when a test begins and put back when it ends, so that no test's run
// state, loaded-data slots or swapped system calls reach the next one. A copy of each of the
// program's state structs, so a field added to one is kept without a word here.
// A fixture holds one as its first member: built before SetUp, destroyed after TearDown.
class ProcessGlobalsGuard {
public:
    ProcessGlobalsGuard();
    ~ProcessGlobalsGuard();
    ProcessGlobalsGuard(const ProcessGlobalsGuard&) = delete;
    ProcessGlobalsGuard& operator=(const ProcessGlobalsGuard&) = delete;

private:
    PlatformState platform_;
    PathBuffers paths_;
    LoadedData data_;
    HeapCounts heap_;
    RemovalState removal_;
    SessionState session_;
    ScreenState screen_;
    DWORD dataOffset_;
};

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest();
    // InstallDir = dir and a backslash, as the start-up derives it from the program's own path.
    void SetInstallDir(const std::wstring& dir);

    ProcessGlobalsGuard globals_;  // first: built before the buffers are set, destroyed last
    WCHAR installDir_[kPathCapacity] = {};
    WCHAR workPath_[kPathCapacity] = {};
    WCHAR modulePath_[kPathCapacity] = {};
};

class WindowedTest : public ProgramTest {
protected:
    // The program's resources come from uninst.exe beside the test, loaded as data once.
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    static HMODULE resources_;
};
