// Test COM server whose DllUnregisterServer records each call in "<its own path>.log": one line
// "pid|current directory|command line", so a test can tell an in-process call from a regsvr32
// run and see the folder and the switches it ran with.
#include <windows.h>

static HMODULE Self = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Self = instance;
    return TRUE;
}

static void AppendText(HANDLE file, const wchar_t* text) {
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(lstrlenW(text) * sizeof(wchar_t)), &written, nullptr);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    wchar_t log[MAX_PATH + 8];
    DWORD cch = GetModuleFileNameW(Self, log, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return E_FAIL;
    lstrcatW(log, L".log");
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return E_FAIL;
    wchar_t line[MAX_PATH];
    wsprintfW(line, L"%lu|", GetCurrentProcessId());
    AppendText(file, line);
    if (GetCurrentDirectoryW(MAX_PATH, line) < MAX_PATH) AppendText(file, line);
    AppendText(file, L"|");
    AppendText(file, GetCommandLineW());
    AppendText(file, L"\n");
    CloseHandle(file);
    return S_OK;
}
