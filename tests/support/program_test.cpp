// The fixtures of program_test.h.
#include "support/program_test.h"

#include <commctrl.h>

#include "data/uninstall_data.h"
#include "platform/api_table.h"
#include "removal/progress.h"
#include "run/ui_windows.h"
#include "support/loaded_data.h"
#include "support/uninst_runner.h"

ProgramTest::ProgramTest() {
    Paths.InstallDir = installDir_;
    Paths.WorkPath = workPath_;
    Paths.ModulePath = modulePath_;
}

void ProgramTest::SetInstallDir(const std::wstring& dir) {
    std::wstring withBackslash = dir.empty() || dir.back() == L'\\' ? dir : dir + L"\\";
    ASSERT_LT(withBackslash.size(), kPathCapacity);
    wcscpy(installDir_, withBackslash.c_str());
}

HMODULE WindowedTest::resources_ = nullptr;

void WindowedTest::SetUpTestSuite() {
    InitCommonControls();
    resources_ = LoadLibraryExW(BinPath(L"uninst.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

void WindowedTest::TearDownTestSuite() {
    if (resources_) FreeLibrary(resources_);
    resources_ = nullptr;
}

void WindowedTest::SetUp() {
    ASSERT_NE(nullptr, resources_);
    Platform.ModuleInstance = resources_;
    ConnectPassUi();
    ASSERT_TRUE(LoadMessages(StandardMessages()));
    ASSERT_TRUE(RegisterMainWindowClass());
    ASSERT_TRUE(CreateMainWindow());
}

void WindowedTest::TearDown() {
    DestroyMainWindow();
    UnregisterClassW(kMainWindowClass, resources_);
    ReleaseUninstallData();
}
