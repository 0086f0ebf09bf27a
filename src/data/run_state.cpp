// Storage of the process-wide run state declared in run_state.h.
#include "data/run_state.h"

HINSTANCE ModuleInstance = nullptr;
bool IsNT = false;
bool IsNT6OrLater = false;
int Quiet = 0;
int OptionS = 0;
int OptionX = 0;
int ConfirmAnswer = IDOK;

WCHAR* InstallDir = nullptr;
WCHAR* WorkPath = nullptr;
WCHAR* ModulePath = nullptr;
