// The globals ProcessGlobalsGuard keeps: a program global missing here leaks from test to test.
// The loaded-data slots are kept as pointers only, so a test still releases what it loaded, and
// LiveBlockCount, which tests compare to find leaks, is left alone.
#include "support/process_globals.h"

#include "data/data_locator.h"
#include "data/install_records.h"
#include "data/memory_ops.h"
#include "data/message_table.h"
#include "data/run_state.h"
#include "platform/api_table.h"
#include "platform/system_library.h"
#include "platform/wow64.h"
#include "removal/file_pass.h"
#include "removal/progress.h"
#include "run/command_line.h"
#include "run/run_log.h"
#include "run/ui_windows.h"

#include <string>

ProcessGlobalsGuard::ProcessGlobalsGuard() {
    Keep(ApiTable); Keep(WidePlatform); Keep(RegistryView); Keep(Wow64Calls);
    restore_.push_back([offset = DataOffset()] { SetDataOffset(offset); });
    Keep(ModuleInstance); Keep(IsNT); Keep(IsNT6OrLater); Keep(Quiet); Keep(OptionS); Keep(OptionX);
    Keep(ConfirmAnswer); Keep(InstallDir); Keep(WorkPath); Keep(ModulePath); Keep(RemovalPathCut); Keep(LogPathCut);
    Keep(FailAllocationCountdown); Keep(MessageTable); Keep(RunSettings); Keep(RunSettingsSize);
    Keep(FileEntries); Keep(FileEntryCount); Keep(ShortcutEntries); Keep(ShortcutEntryCount);
    Keep(RegistryEntries); Keep(RegistryEntryCount);
    Keep(MainWindow); Keep(ProgressDialog); Keep(ProgressBar); Keep(ProgressTotal); Keep(PassUi); Keep(LastPercent);
    Keep(DialogFont); Keep(YesToAllState); Keep(RemovalDone);
    // An array, kept by its text.
    restore_.push_back([saved = std::wstring(LogPath)] { wcscpy_s(LogPath, saved.c_str()); });
}

ProcessGlobalsGuard::~ProcessGlobalsGuard() {
    for (auto restore = restore_.rbegin(); restore != restore_.rend(); ++restore) (*restore)();
}
