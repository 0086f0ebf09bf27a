// record_run.exe as the tests place it: its copy, gate, record and end marker.
#include "support/record_run.h"

#include <cstring>

#include "support/uninst_runner.h"

bool WaitForPath(const std::wstring& path) {
    for (DWORD waited = 0; waited < kChildBoundMs; waited += 20) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(20);
    }
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

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

bool RecordedRun::Started() const { return GetFileAttributesW(LogPath().c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RecordedRun::Ended() const { return GetFileAttributesW((exe_ + L".end").c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> RecordedRun::Log() const {
    uninstpack::Bytes bytes = ReadFileBytes(LogPath());
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * 2);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t lf; (lf = text.find(L'\n', start)) != std::wstring::npos; start = lf + 1)
        lines.push_back(text.substr(start, lf - start));
    return lines;
}
