// The bench of tests that load uninstall data as the program loads its own file: a folder of the
// test's own holding that file, which GetModuleFileName names, message boxes recorded, and at the
// end a check that ReleaseUninstallData gave back every block and left nothing loaded.
#pragma once
#include <windows.h>

#include <string>

#include "support/files_registry.h"
#include "support/member_guard.h"
#include "support/program_test.h"

class LoaderTest : public ProgramTest {
protected:
    void SetUp() override;
    void TearDown() override;

    TempFolder dir_;
    const std::wstring program_ = dir_.Join(L"uninst.exe");
    LONG baseline_ = 0;  // live blocks before the test loads anything
    API_GUARD_MEMBER(GetModuleFileName, FakeModuleFileName);
    API_GUARD_MEMBER(MessageBox, RecordMessageBox);
};
