// The fakes shared by several test programs (ApiEntryGuard itself is header-only).
#include "support/api_guard.h"

std::wstring FakeModulePath;
bool ModuleFileNameFails = false;

DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR buffer, DWORD cch) {
    if (ModuleFileNameFails) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (FakeModulePath.size() >= cch) {
        if (cch == 0) return 0;
        FakeModulePath.copy(buffer, cch - 1);
        buffer[cch - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return cch;
    }
    FakeModulePath.copy(buffer, FakeModulePath.size());
    buffer[FakeModulePath.size()] = 0;
    return static_cast<DWORD>(FakeModulePath.size());
}
