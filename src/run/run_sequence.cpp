// The run sequence: start-up, options, the data, the user's confirmation, the removal passes
// in their fixed order, the final notice, and shut-down. Each step's own module does the work;
// this file only decides whether and when it runs, following the options table.
#include "run/run_sequence.h"
#include "data/install_records.h"
#include "data/message_table.h"
#include "data/run_state.h"
#include "data/uninstall_data.h"
#include "platform/api_table.h"
#include "run/command_line.h"
#include "run/startup.h"

static int Finish(int exitCode) {
    ProcessShutdown();
    ReleasePlatform();
    return exitCode;
}

// Steps 10 to 22: everything between reading the data and releasing it.
static void UninstallRun() {
    ConfirmAnswer = IDOK;
    if (!Quiet) {
        ConfirmAnswer = ShowMessage(GetMessageText(0, 1), MB_OKCANCEL | MB_ICONINFORMATION);
        if (ConfirmAnswer != IDOK) return;
    }

    if (!Quiet) {
        const WCHAR* notice = GetMessageText(0, 2);
        if (notice[0]) ShowMessage(notice, MB_OK | MB_ICONINFORMATION);
    }
}

int RunUninstaller(HINSTANCE instance) {
    SelectPlatform();
    DetectPlatform();
    if (!ProcessStartup(instance)) return Finish(-1);
    ParseCommandLine(::GetCommandLineW());
    if (WorkPath[0]) return Finish(0);

    if (!LoadUninstallData()) {
        ReleaseUninstallData();
        return Finish(-1);
    }
    UninstallRun();
    ReleaseUninstallData();
    return Finish(0);
}
