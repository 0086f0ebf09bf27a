// WholeRunRefusal: the platform the test runs on and the options of its command line.
#include "support/whole_run.h"

#include <windows.h>

#include "platform/api_table.h"
#include "run/command_line.h"
#include "run/session.h"

std::string WholeRunRefusal() {
    if (!Platform.WidePlatform) return "the run selects the narrow table, which replaces the fakes the test depends on";
    const SessionState saved = Session;
    WCHAR removalPath[kPathCapacity] = {};
    ParseCommandLine(GetCommandLineW(), removalPath);
    const bool options = removalPath[0] || Session.Quiet;
    Session = saved;
    return options ? "the test's command line holds options the run would act on" : "";
}
