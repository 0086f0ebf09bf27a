// The bench of tests of the self-removal's temporary copy in process: a temp folder of the test's
// own, which the faked GetTempPath reports; a program file the faked GetModuleFileName names;
// and the copies' deletion at restart, as Wine keeps it, read and taken out again at the end.
#pragma once
#include <windows.h>

#include <string>

#include "pack/uninst_data.h"
#include "support/files_registry.h"
#include "support/member_guard.h"
#include "support/program_test.h"

class TempCopyTest : public ProgramTest {
protected:
    void SetUp() override;
    // Unschedules the first copies and checks that every block was released.
    void TearDown() override;

    // Writes `program` as uninst.exe in `folder` of the test's folder, as the program file, with
    // the data offset at `offset`.
    void PlaceProgram(const std::wstring& folder, const uninstpack::Bytes& program, DWORD offset);
    // The copy numbered n in the temp folder.
    std::wstring Copy(int n) const { return temp_ + L"\\_uins" + std::to_wstring(n) + L".exe"; }

    TempFolder dir_;
    const std::wstring temp_ = dir_.MakeFolder(L"temp");
    LONG blocks_ = 0;
    API_GUARD_MEMBER(GetTempPath, FakeTempPath);
    API_GUARD_MEMBER(GetModuleFileName, FakeModuleFileName);
};

// Deletions at restart as Wine keeps them: PendingFileRenameOperations, pairs of "\??\source" and
// the new name, empty for a deletion. Unschedule takes every entry of `path` out again.
bool ScheduledForDeletion(const std::wstring& path);
void Unschedule(const std::wstring& path);
