// The fixtures of program_test.h and the guard of the program's state they hold.
#include "support/program_test.h"

#include <commctrl.h>

#include "data/data_locator.h"
#include "support/loaded_data.h"
#include "support/uninst_runner.h"

// ProcessGlobalsGuard: the program's state structs copied whole. The loaded-data slots are kept as
// pointers only, so a test still releases what it loaded, and the heap's count of live blocks,
// which tests compare to find leaks, is left as the test left it.
ProcessGlobalsGuard::ProcessGlobalsGuard()
    : platform_(Platform),
      paths_(Paths),
      data_(Data),
      heap_(Heap),
      removal_(Removal),
      session_(Session),
      screen_(Screen),
      dataOffset_(DataOffset()) {}

ProcessGlobalsGuard::~ProcessGlobalsGuard() {
    SetDataOffset(dataOffset_);
    Platform = platform_;
    Paths = paths_;
    Data = data_;
    heap_.LiveBlockCount = Heap.LiveBlockCount;
    Heap = heap_;
    Removal = removal_;
    Session = session_;
    Screen = screen_;
}

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
