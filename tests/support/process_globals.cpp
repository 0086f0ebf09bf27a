// The globals ProcessGlobalsGuard saves and restores. The loaded-data slots are restored as
// pointers only: a test still releases what it loaded, and LiveBlockCount, which tests compare
// to prove that, is left alone.
#include "support/process_globals.h"

#include "data/data_locator.h"
#include "data/install_records.h"
#include "data/main_window.h"
#include "data/memory_ops.h"
#include "data/message_table.h"
#include "data/progress.h"
#include "data/run_state.h"
#include "platform/api_table.h"
#include "platform/system_library.h"
#include "platform/wow64.h"
#include "removal/file_pass.h"
#include "run/command_line.h"
#include "run/ui_windows.h"

struct ProcessGlobalsGuard::Saved {
    ApiTableT apiTable = ApiTable;
    bool widePlatform = WidePlatform;
    bool dllSearchRestricted = DllSearchRestricted;
    DWORD registryView = RegistryView;
    Wow64CallsT wow64Calls = Wow64Calls;
    DWORD dataOffset = DataOffset();
    HINSTANCE moduleInstance = ModuleInstance;
    bool isNT = IsNT, isNT6OrLater = IsNT6OrLater;
    int quiet = Quiet, optionS = OptionS, optionX = OptionX, confirmAnswer = ConfirmAnswer;
    WCHAR *installDir = InstallDir, *workPath = WorkPath, *modulePath = ModulePath;
    bool removalPathCut = RemovalPathCut;
    LONG failAllocationCountdown = FailAllocationCountdown;
    WCHAR** messageTable = MessageTable;
    FileEntry** fileEntries = FileEntries;
    DWORD fileEntryCount = FileEntryCount;
    ShortcutEntry** shortcutEntries = ShortcutEntries;
    DWORD shortcutEntryCount = ShortcutEntryCount;
    RegistryEntry** registryEntries = RegistryEntries;
    DWORD registryEntryCount = RegistryEntryCount;
    RunSettingsHeader* runSettings = RunSettings;
    DWORD runSettingsSize = RunSettingsSize;
    HWND mainWindow = MainWindow, progressDialog = ProgressDialog, progressBar = ProgressBar;
    DWORD progressTotal = ProgressTotal, lastPercent = LastPercent;
    HFONT dialogFont = DialogFont;
    int yesToAllState = YesToAllState;
};

ProcessGlobalsGuard::ProcessGlobalsGuard() : saved_(new Saved) {}

ProcessGlobalsGuard::~ProcessGlobalsGuard() {
    const Saved& s = *saved_;
    ApiTable = s.apiTable;
    WidePlatform = s.widePlatform;
    DllSearchRestricted = s.dllSearchRestricted;
    RegistryView = s.registryView;
    Wow64Calls = s.wow64Calls;
    SetDataOffset(s.dataOffset);
    ModuleInstance = s.moduleInstance;
    IsNT = s.isNT;
    IsNT6OrLater = s.isNT6OrLater;
    Quiet = s.quiet;
    OptionS = s.optionS;
    OptionX = s.optionX;
    ConfirmAnswer = s.confirmAnswer;
    InstallDir = s.installDir;
    WorkPath = s.workPath;
    ModulePath = s.modulePath;
    RemovalPathCut = s.removalPathCut;
    FailAllocationCountdown = s.failAllocationCountdown;
    MessageTable = s.messageTable;
    FileEntries = s.fileEntries;
    FileEntryCount = s.fileEntryCount;
    ShortcutEntries = s.shortcutEntries;
    ShortcutEntryCount = s.shortcutEntryCount;
    RegistryEntries = s.registryEntries;
    RegistryEntryCount = s.registryEntryCount;
    RunSettings = s.runSettings;
    RunSettingsSize = s.runSettingsSize;
    MainWindow = s.mainWindow;
    ProgressDialog = s.progressDialog;
    ProgressBar = s.progressBar;
    ProgressTotal = s.progressTotal;
    LastPercent = s.lastPercent;
    DialogFont = s.dialogFont;
    YesToAllState = s.yesToAllState;
}
