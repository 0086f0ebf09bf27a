// The start-up a test of the program's own code needs, as the entry point's start-up leaves the
// process: the platform selected (tests/environment, before the first test), path buffers of the
// test's own, all empty, and the program's state put back when the test ends. WindowedTest adds
// the program's resources, the standard messages and the hidden main window, for code that shows
// something.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "data/path_buffer.h"
#include "support/process_globals.h"

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
