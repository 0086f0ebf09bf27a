// Entry point of the uninstaller. The command line is read with GetCommandLineW, not from the
// narrow argument, so paths outside the ANSI code page reach the program whole.
#include "run/run_sequence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return RunUninstaller(instance);
}
