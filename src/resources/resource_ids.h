// The ids of the program's resources and of its dialogs' controls, shared by uninst.rc and the
// run layer's windows. Read by the resource compiler too, so nothing but #define.
#pragma once

#define IDD_READ_ONLY_PROMPT 109
#define IDD_PROGRESS 110
#define IDI_PROGRAM 800

#define IDC_TEXT 1000
#define IDC_YESTOALL 1001  // the prompt's Yes and No are the system's IDYES and IDNO
#define IDC_NOTOALL 1002
#define IDC_PROGRESS 1009
