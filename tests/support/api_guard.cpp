// The fakes shared by several test programs (ApiEntryGuard itself is header-only).
#include "support/api_guard.h"

std::wstring FakeModulePath;
bool ModuleFileNameFails = false;

std::wstring FakeTempFolder, FakeWindowsFolder, FakeSystemFolder;

namespace {

UINT ReportFolder(const std::wstring& folder, LPWSTR buffer, UINT cch) {
    if (folder.size() >= cch) return static_cast<UINT>(folder.size() + 1);
    folder.copy(buffer, folder.size());
    buffer[folder.size()] = 0;
    return static_cast<UINT>(folder.size());
}

std::wstring OrNull(LPCWSTR text) { return text ? std::wstring(text) : std::wstring(L"(null)"); }

}  // namespace

DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR buffer, DWORD cch) {
    if (ModuleFileNameFails) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (FakeModulePath.size() < cch) return ReportFolder(FakeModulePath, buffer, cch);
    if (cch == 0) return 0;
    FakeModulePath.copy(buffer, cch - 1);
    buffer[cch - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return cch;
}

DWORD WINAPI FakeTempPath(DWORD cch, LPWSTR buffer) { return ReportFolder(FakeTempFolder, buffer, cch); }
UINT WINAPI FakeWindowsDirectory(LPWSTR buffer, UINT cch) { return ReportFolder(FakeWindowsFolder, buffer, cch); }
UINT WINAPI FakeSystemDirectory(LPWSTR buffer, UINT cch) { return ReportFolder(FakeSystemFolder, buffer, cch); }

HANDLE WINAPI FindNothing(LPCWSTR, LPWIN32_FIND_DATAW) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI ShellPathFails(PCIDLIST_ABSOLUTE, LPWSTR path) {
    if (path) path[0] = 0;
    return FALSE;
}

ShellOpen LastShellOpen;

HINSTANCE WINAPI RecordShellExecute(HWND, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                    INT show) {
    LastShellOpen = {LastShellOpen.calls + 1, OrNull(operation), OrNull(file), OrNull(parameters), OrNull(directory),
                     show};
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

std::vector<ShownBox> ShownBoxes;
int BoxAnswer = IDOK;

int WINAPI RecordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    ShownBoxes.push_back({owner, OrNull(text), OrNull(caption), type});
    return BoxAnswer;
}
