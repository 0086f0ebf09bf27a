// The run sequence: start-up, options, the data, the user's confirmation, the removal passes
// in their fixed order, the final notice, and shut-down. Each step's own module does the work;
// this file only decides whether and when it runs, following the options table.
#include "run/run_sequence.h"
#include "data/install_records.h"
#include "data/memory_ops.h"
#include "data/message_table.h"
#include "data/uninstall_data.h"
#include "platform/api_table.h"
#include "platform/system_library.h"
#include "platform/wow64.h"
#include "removal/file_pass.h"
#include "removal/folder_pass.h"
#include "removal/progress.h"
#include "removal/registry_pass.h"
#include "removal/shortcut_pass.h"
#include "run/command_line.h"
#include "run/pre_removal.h"
#include "run/run_log.h"
#include "run/session.h"
#include "run/self_removal.h"
#include "run/startup.h"
#include "run/ui_windows.h"

static int Finish(int exitCode) {
    CloseRunLog();
    ProcessShutdown();
    ReleasePlatform();
    return exitCode;
}

// The confirmation and, while a guarded file is held open, the retry question. False when the
// user cancelled either; ConfirmAnswer then says so.
static bool ConfirmRemoval() {
    Session.ConfirmAnswer = IDOK;
    if (Session.Quiet) return true;
    Session.ConfirmAnswer = ShowMessage(GetMessageText(0, kMessageConfirmation), MB_OKCANCEL | MB_ICONINFORMATION);
    if (Session.ConfirmAnswer != IDOK) return false;
    while (CheckFilesInUse()) {
        if (ShowMessage(GetMessageText(0, kMessageStillRunning), MB_RETRYCANCEL | MB_ICONINFORMATION) == IDCANCEL) {
            Session.ConfirmAnswer = IDCANCEL;
            return false;
        }
    }
    return true;
}

// Prepared whenever the data hold a command; /X alone suppresses only the start.
static void PreRemovalStep() {
    if (Data.RunSettings->commandOffset == 0) return;
    PreRemovalCommand command;
    if (!PreparePreRemovalCommand(PreRemovalCommandText(), Paths.WorkPath, &command)) return;
    if (!Session.OptionX || Session.OptionS)
        RunPreRemovalCommand(command.program, command.arguments, (Data.RunSettings->flags & kRunWaitForCommand) != 0);
    FreeBlock(&command.block);
}

// Steps 10 to 22: everything between creating the main window and destroying it.
static void UninstallRun() {
    if (!ConfirmRemoval()) return;
    PreRemovalStep();

    if (!Session.Quiet) OpenProgressDialog();
    RemoveInstalledFiles();
    ShowProgressText(kMessageRemovingShortcuts);
    RemoveShortcutFiles();
    RemoveShortcutFolders();
    ShowProgressText(kMessageRemovingFolders);
    RemoveEmptiedFolders();
    ShowProgressText(kMessageRemovingRegistry);
    RemoveRegistryEntries();
    Session.RemovalDone = true;
    // Every pass reports the record it has just finished counted from 0, so the last report
    // stops short of the end (99 in a run of more than 100 steps); the removal is complete
    // here, and the bar says so before it goes.
    if (Removal.ProgressTotal) SetProgress(100);
    CloseProgressDialog();

    if (!Session.Quiet) {
        const WCHAR* notice = GetMessageText(0, kMessageFinalNotice);
        if (notice[0]) ShowMessage(notice, MB_OK | MB_ICONINFORMATION);
    }
    if (!Session.OptionX && !Session.OptionS && Data.RunSettings->finishPageOffset != 0) {
        const WCHAR* page = FinishPageText();
        LogPrint(page, "finish page: ");
        OpenFinishPage(page);
    }
}

bool LoadUninstallDataOrReport() {
    ReadResult code = LoadUninstallData();
    LogUninstallData(code);
    if (code == kReadOk) return true;
    if (code != kReadNoData) {
        WCHAR text[kMessageBufferCch];
        FormatMessageText(text, code == kReadOutOfMemory ? kMessageOutOfMemory : kMessageDamaged, Paths.ModulePath);
        ShowMessage(text, MB_OK | MB_ICONINFORMATION);
    }
    return false;
}

int RunUninstaller(HINSTANCE instance) {
    // Before anything can load a DLL by name, in both modes: the program and its temporary
    // copy run elevated from folders that an ordinary process of the same user can write to.
    RestrictDllSearch();
    SelectPlatform();
    DetectPlatform();
    if (!ProcessStartup(instance)) return Finish(-1);
    ConnectPassUi();
    ParseCommandLine(::GetCommandLineW(), Paths.WorkPath);
    if (Paths.WorkPath[0]) {
        // Our own copy is never given a path that does not fit; deleting what the first 259
        // characters of a longer one name would remove some other file.
        if (!Session.RemovalPathCut) RemovalHelperMode(Paths.WorkPath);
        return Finish(0);
    }
    OpenRunLog();

    if (!LoadUninstallDataOrReport()) {
        ReleaseUninstallData();
        return Finish(-1);
    }
    if (!(Data.RunSettings->flags & kRunFullVisualStyles)) ApplyThemeProperties();
    // Before the in-use check, which opens the product's files as the removal will.
    Use64BitViews((Data.RunSettings->flags & kRun64BitApplication) != 0);
    if (!RegisterMainWindowClass()) {
        ReleaseUninstallData();
        return Finish(0);
    }
    if (!CreateMainWindow()) {
        ReleaseUninstallData();
        return Finish(-1);
    }
    UninstallRun();
    DestroyMainWindow();
    ReleaseUninstallData();
    if (Session.ConfirmAnswer == IDOK && !Session.OptionX && !Session.OptionS) StartSelfRemoval();
    return Finish(0);
}
