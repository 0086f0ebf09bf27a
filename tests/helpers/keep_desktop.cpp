// keep_desktop: holds one hidden window for as long as it runs.
//
// Wine's desktop process starts with the first window of a session and ends a while after the
// last one. Under load its restart takes many seconds, and a program whose window came first
// then saw CreateWindowEx fail. scripts/wine-run starts this once per prefix, so the desktop
// stays up between the test programs. Ends with the prefix's wineserver.
#include <windows.h>

int main() {
    HWND window = nullptr;
    for (int attempt = 0; attempt < 30 && !window; ++attempt) {
        window = CreateWindowExW(0, L"STATIC", L"keep_desktop", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
        if (!window) Sleep(1000);
    }
    if (!window) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
