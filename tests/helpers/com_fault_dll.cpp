// Test COM server whose DllUnregisterServer marks that it ran ("<its own path>.log") and then
// writes through a null pointer: an access violation inside the server.
#include <windows.h>

static HMODULE Self = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    wchar_t log[MAX_PATH + 8];
    DWORD cch = GetModuleFileNameW(Self, log, MAX_PATH);
    if (cch != 0 && cch < MAX_PATH) {
        lstrcatW(log, L".log");
        HANDLE file = CreateFileW(log, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    *static_cast<volatile int*>(nullptr) = 1;
    return S_OK;
}
