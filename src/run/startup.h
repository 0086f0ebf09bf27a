// Start-up and shut-down of the process-wide resources.
#pragma once
#include <windows.h>

// Keeps the instance, starts OLE and the common controls, allocates the three path buffers and
// derives InstallDir from the program's own path. False when a path buffer cannot be allocated
// or the program's path does not fit a path buffer: the run cannot go on without them.
bool ProcessStartup(HINSTANCE instance);

// Undoes ProcessStartup; safe after a partly failed start-up.
void ProcessShutdown();
