// The names of the folder macros, shared by the uninstaller and its authoring tool so that the
// tool accepts exactly the macros the program expands. One packed ASCII text without pointers
// (each address stored in the program would cost it a relocation entry), and nothing but
// <stddef.h>, like data/data_format.h.
#pragma once
#include <stddef.h>

// "#Name#" for each macro, neighbours sharing their "#": the macro of index i is the text from
// the i-th "#" to the next one, both included. Compared ignoring the case of ASCII letters. The
// order is that of the program's table of folder codes; "#InstallDir#", which names the
// uninstaller's own folder rather than a folder code, is the last.
constexpr char kFolderMacroNames[] =
    "#Windows#System#CommonFiles#Program Files#MyDocuments#Desktop#AppData#LocalAppData#UserDir#"
    "Programs#CommonPrograms#StartMenu#CommonStartMenu#Startup#CommonStartup#CommonDesktop#Fonts#"
    "CommonAppData#CommonDocuments#QuickLaunch#InstallDir#";

constexpr int kFolderMacroCount = 21;
constexpr int kInstallDirMacro = kFolderMacroCount - 1;

constexpr int CountFolderMacros(const char* names) {
    int hashes = 0;
    for (; *names; ++names) hashes += *names == '#';
    return hashes - 1;
}
static_assert(CountFolderMacros(kFolderMacroNames) == kFolderMacroCount, "one name per macro");
