// The pre-removal command and the finish page: the stored command becomes a program and its
// arguments, which run in the program's own folder (waited for when the data ask for it); the
// finish page is opened through the shell. A text that does not fit its buffer is never cut:
// the command is not run, the page is not opened.
#pragma once
#include <windows.h>

const DWORD kCommandLineCapacity = 528;  // WCHARs of the command line, terminator included
const DWORD kSavedDirCapacity = 260;     // first part of the directory block: the saved directory
const DWORD kProgramDirCapacity = 268;   // second part: the program's folder
const DWORD kFinishPageCapacity = 260;   // the finish page's working copy

struct PreRemovalCommand {
    WCHAR* program;    // inside the caller's work buffer or inside block
    WCHAR* arguments;  // never null when prepared; empty when there are none
    WCHAR* block;      // the expanded command, or null; the caller frees it with FreeBlock
};

// Splits the stored command (quoted "program" arguments, or unquoted: all program) after
// expanding a leading folder macro, or else prefixing InstallDir. False, with nothing to
// free, when nothing sound can be started: the text or its composition does not fit, a
// leading quote is never closed, the program is empty, or the expansion's block cannot be
// allocated. A command without a macro is composed in work (kPathCapacity WCHARs), which
// must then outlive the command.
bool PreparePreRemovalCommand(const WCHAR* commandText, WCHAR* work, PreRemovalCommand* command);

// Starts `"program" arguments` with the program's folder as the current directory for the
// call, waits for its end when `wait` is set (pumping messages, wait cursor), and puts the
// current directory back. True when the process was created; false, without starting
// anything, when a block cannot be allocated or the command line or folder would not fit.
bool RunPreRemovalCommand(const WCHAR* program, const WCHAR* arguments, bool wait);

// Opens a web address ("http://", "https://", any case) as it stands, or a file with its
// folder as working directory. A target longer than the working copy is not opened.
void OpenFinishPage(const WCHAR* target);
