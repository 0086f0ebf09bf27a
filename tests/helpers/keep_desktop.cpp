// keep_desktop: holds one hidden window for as long as it runs.
//
// Wine's desktop process starts with the first window of a session and ends a while after the
// last one. Under load its restart takes many seconds, and a program whose window came first
// then saw CreateWindowEx fail; such a process stays without a display for good, so the first
// window must be tried in a fresh process each time. scripts/wine-run starts this program until
// one instance writes READY_FILE, so the desktop is up before any test program starts. A test
// that closes every window it finds closes this one too: it is made again at once.
//
//   keep_desktop READY_FILE
#include <windows.h>

#include <cstdio>

static HWND MakeWindow() {
    HWND window =
        CreateWindowExW(0, L"STATIC", L"keep_desktop", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!window) std::printf("no window: error %lu\n", GetLastError());
    std::fflush(stdout);
    return window;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    HWND window = MakeWindow();
    if (!window) return 1;
    HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    for (;;) {
        MSG msg;
        // A message that is not ours (a broadcast quit, say) must not end the keeper.
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) DispatchMessageW(&msg);
        }
        if (!IsWindow(window)) {
            std::printf("window gone; making it again\n");
            std::fflush(stdout);
            window = MakeWindow();
            if (!window) return 1;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
    }
}
