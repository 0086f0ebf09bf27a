// The helper record_run.exe placed as a command or finish page: where its record is, whether
// it started and ended, and the gate that keeps it running until the test lets it go.
//
// Usage:
//   RecordedRun command;
//   ASSERT_TRUE(command.Place(folder, L"cmd-123.exe"));  // a copy, and its gate, still shut
//   ... the program under test starts it ...
//   ASSERT_TRUE(WaitForPath(command.LogPath()));
//   SetEvent(command.Gate());                               // lets it end
//   std::vector<std::wstring> log = command.Log();          // {command line, current directory}
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "support/uninst_runner.h"

class RecordedRun {
public:
    RecordedRun() = default;
    // Opens the gate, and waits for the end of a copy that started, so its folder can go.
    ~RecordedRun();
    RecordedRun(const RecordedRun&) = delete;
    RecordedRun& operator=(const RecordedRun&) = delete;

    // Copies record_run.exe to folder\name (name must end in ".exe") and makes its gate.
    bool Place(const std::wstring& folder, const std::wstring& name);

    const std::wstring& Exe() const { return exe_; }
    std::wstring LogPath() const { return exe_ + L".log"; }
    HANDLE Gate() const { return gate_; }
    bool Started() const;
    bool Ended() const;
    // The lines of the record: its command line and its current directory.
    std::vector<std::wstring> Log() const;

private:
    std::wstring exe_;
    HANDLE gate_ = NULL;
};
