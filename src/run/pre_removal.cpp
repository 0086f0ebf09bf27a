// The pre-removal command and the finish page. Owns the blocks of one call each (the
// expanded command until the caller frees it). Never starts or opens a text that was cut.
#include "run/pre_removal.h"
#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "folders/folder_macros.h"
#include "platform/api_table.h"
#include "run/run_log.h"
#include "run/ui_windows.h"

static bool IsBlank(WCHAR c) { return c == L' '; }

// Cuts a path to its folder, keeping the backslash of a drive root: "C:" alone would name the
// drive's own current directory, not its root. False when the path has no backslash.
static bool CutToFolder(WCHAR* path) {
    int cut = LastBackslash(path, PathLength(path));
    if (cut < 0) return false;
    if (cut == 2 && path[1] == L':') ++cut;
    CutPath(path, static_cast<size_t>(cut));
    return true;
}

// InstallDir before the text from p on, with the command's opening quote kept in front, into
// composed (kPathCapacity WCHARs).
static bool ComposeRelative(const WCHAR* text, size_t p, WCHAR* composed) {
    composed[0] = 0;
    bool ok = (text[0] != L'"' || CopyPath(composed, kPathCapacity, L"\"")) &&
              AppendPath(composed, kPathCapacity, Paths.InstallDir) && AppendBackslash(composed, kPathCapacity) &&
              AppendPath(composed, kPathCapacity, text + p);
    if (!ok) composed[0] = 0;
    return ok;
}

// Splits in place: the closing quote and the blanks before it become terminators.
static bool SplitCommand(WCHAR* composed, PreRemovalCommand* command) {
    if (composed[0] != L'"') {
        command->program = composed;
        command->arguments = composed + PathLength(composed);
        return composed[0] != 0;
    }
    WCHAR* program = composed + 1;
    while (IsBlank(*program)) ++program;
    WCHAR* close = program;
    while (*close && *close != L'"') ++close;
    // Without its closing quote the program's end is unknown; guessing could start another file.
    if (*close != L'"') return false;
    WCHAR* end = close;
    while (end > program && IsBlank(end[-1])) --end;
    WCHAR* arguments = close + 1;
    while (IsBlank(*arguments)) ++arguments;
    for (WCHAR* c = end; c <= close; ++c) *c = 0;
    if (program == end) return false;
    command->program = program;
    command->arguments = arguments;
    return true;
}

bool PreparePreRemovalCommand(const WCHAR* commandText, WCHAR* work, PreRemovalCommand* command) {
    command->program = nullptr;
    command->arguments = nullptr;
    command->block = nullptr;
    if (!commandText) return false;
    // No command line can hold a longer text, and an expansion far beyond it could overflow
    // the expansion's work buffer, which ends the text early.
    size_t cchText = PathLength(commandText);
    if (cchText >= kCommandLineCapacity) return false;

    size_t p = commandText[0] == L'"' ? 1 : 0;
    while (IsBlank(commandText[p])) ++p;
    // A text that names no program would start InstallDir itself.
    if (commandText[p] == 0 || (p > 0 && commandText[p] == L'"')) return false;

    WCHAR* block = nullptr;
    if (commandText[p] == L'#') {
        unsigned cchExpanded = ExpandFolderMacros(nullptr, commandText, kMacroWorkCapacity);
        if (!AllocBlock((cchExpanded + 1) * sizeof(WCHAR), &block)) return false;
        ExpandFolderMacros(block, commandText, cchExpanded + 1);
        if (cchExpanded == cchText && block[p] == L'#') FreeBlock(&block);
    }
    WCHAR* composed = block;
    if (!composed) {
        if (!ComposeRelative(commandText, p, work)) return false;
        composed = work;
    }
    if (!SplitCommand(composed, command)) {
        FreeBlock(&block);
        command->program = nullptr;
        command->arguments = nullptr;
        return false;
    }
    command->block = block;
    return true;
}

static bool BuildCommandLine(WCHAR* line, const WCHAR* program, const WCHAR* arguments) {
    return CopyPath(line, kCommandLineCapacity, L"\"") && AppendPath(line, kCommandLineCapacity, program) &&
           AppendPath(line, kCommandLineCapacity, L"\"") &&
           (!arguments[0] || (AppendPath(line, kCommandLineCapacity, L" ") &&
                              AppendPath(line, kCommandLineCapacity, arguments)));
}

static void WaitForEnd(HANDLE process) {
    HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
    // The process handle itself says when it ended: an exit code of 259 (STILL_ACTIVE) from a
    // finished command would keep a GetExitCodeProcess poll waiting for ever.
    do {
        PumpMessages();
    } while (::WaitForSingleObject(process, 200) == WAIT_TIMEOUT);
    ::SetCursor(previous);
}

bool RunPreRemovalCommand(const WCHAR* program, const WCHAR* arguments, bool wait) {
    if (!program || !program[0]) return false;
    if (!arguments) arguments = L"";
    WCHAR* commandLine = nullptr;
    if (!AllocZeroed(kCommandLineCapacity * sizeof(WCHAR), &commandLine)) return false;
    WCHAR* directories = nullptr;
    if (!BuildCommandLine(commandLine, program, arguments) ||
        !AllocZeroed((kSavedDirCapacity + kProgramDirCapacity) * sizeof(WCHAR), &directories)) {
        FreeBlock(&commandLine);
        return false;
    }
    WCHAR* savedDir = directories;
    WCHAR* programDir = directories + kSavedDirCapacity;
    if (!CopyPath(programDir, kProgramDirCapacity, program)) {
        FreeBlock(&directories);
        FreeBlock(&commandLine);
        return false;
    }

    // A directory that could not be saved could not be put back, so the call then leaves it.
    DWORD cchSaved = Platform.ApiTable.GetCurrentDirectory(kSavedDirCapacity, savedDir);
    bool saved = cchSaved != 0 && cchSaved < kSavedDirCapacity;
    if (saved && CutToFolder(programDir)) Platform.ApiTable.SetCurrentDirectory(programDir);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);  // 68
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof(info));
    bool created = Platform.ApiTable.CreateProcess(nullptr, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                                                   nullptr, nullptr, &startup, &info) != FALSE;
    LogPrint(commandLine, created ? "pre-removal command started: " : "pre-removal command not started: ");
    if (created) {
        if (wait) {
            WaitForEnd(info.hProcess);
            DWORD result;
            if (::GetExitCodeProcess(info.hProcess, &result))
                LogPrint(nullptr, "pre-removal command ended, exit code %u", result);
        }
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }

    if (saved) Platform.ApiTable.SetCurrentDirectory(savedDir);
    FreeBlock(&directories);
    FreeBlock(&commandLine);
    return created;
}

static bool StartsWithNoCase(const WCHAR* text, const WCHAR* prefix) {
    size_t cchPrefix = PathLength(prefix);
    return PathLength(text) >= cchPrefix && EqualNoCaseAscii(text, prefix, cchPrefix);
}

void OpenFinishPage(const WCHAR* target) {
    if (!target || !target[0]) return;
    WCHAR* folder = nullptr;
    if (!AllocZeroed(kFinishPageCapacity * sizeof(WCHAR), &folder)) return;
    if (CopyPath(folder, kFinishPageCapacity, target)) {
        const WCHAR* directory = nullptr;
        if (!StartsWithNoCase(target, L"http://") && !StartsWithNoCase(target, L"https://") && CutToFolder(folder))
            directory = folder;
        Platform.ApiTable.ShellExecute(nullptr, L"open", target, nullptr, directory, SW_SHOW);
    }
    FreeBlock(&folder);
}
