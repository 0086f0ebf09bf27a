// Storage of the main window's handle; the windows module sets it and clears it again.
#include "data/main_window.h"

HWND MainWindow = nullptr;
