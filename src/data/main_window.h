// The hidden main window's handle: owner of every message box. Null until the windows module
// creates the window, so boxes shown while loading the data have no owner.
#pragma once
#include <windows.h>

extern HWND MainWindow;
