// Test DLL without a DllUnregisterServer export: loading it marks "<its own path>.loaded", so a
// test sees that it was loaded, and unloading it marks "<its own path>.freed".
#include <windows.h>

static void Mark(HMODULE self, const wchar_t* suffix) {
    wchar_t path[MAX_PATH + 8];
    DWORD cch = GetModuleFileNameW(self, path, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return;
    lstrcatW(path, suffix);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Mark(instance, L".loaded");
    if (reason == DLL_PROCESS_DETACH) Mark(instance, L".freed");
    return TRUE;
}

extern "C" __declspec(dllexport) int NotAnUnregisterEntry() { return 0; }
