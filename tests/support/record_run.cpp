// record_run.exe as the tests place it: its copy, gate, record and end marker.
#include "support/record_run.h"

RecordedRun::~RecordedRun() {
    if (!gate_) return;
    SetEvent(gate_);
    if (Started()) WaitForPath(exe_ + L".end");
    CloseHandle(gate_);
}

bool RecordedRun::Place(const std::wstring& folder, const std::wstring& name) {
    exe_ = folder + L"\\" + name;
    if (!CopyFileW(BinPath(L"record_run.exe").c_str(), exe_.c_str(), FALSE)) return false;
    // The helper looks for this event by its own file name.
    gate_ = CreateEventW(NULL, TRUE, FALSE, (name + L".gate").c_str());
    return gate_ != NULL;
}

bool RecordedRun::Started() const { return Exists(LogPath()); }

bool RecordedRun::Ended() const { return Exists(exe_ + L".end"); }

std::vector<std::wstring> RecordedRun::Log() const { return ReadTextLines(LogPath()); }
