// The program's state, saved when a test begins and put back when it ends, so that no test's run
// state, loaded-data slots or swapped system calls reach the next one. A copy of each of the
// program's state structs, so a field added to one is kept without a word here.
// A fixture holds one as its first member: built before SetUp, destroyed after TearDown.
#pragma once
#include <windows.h>

#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "data/uninstall_data.h"
#include "platform/api_table.h"
#include "removal/progress.h"
#include "run/session.h"
#include "run/ui_windows.h"

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
