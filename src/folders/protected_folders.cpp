// The protected-folder list and its resolution, cached for the life of the process.
#include "folders/protected_folders.h"
#include "data/path_buffer.h"
#include "data/run_state.h"
#include "folders/resolve_folder.h"

const DWORD ProtectedFolderList[ProtectedFolderCount + 1] = {
    FOLDER_WINDOWS,
    FOLDER_SYSTEM,
    FOLDER_TEMP,
    FOLDER_PROGRAM_FILES,
    FOLDER_COMMON_FILES,
    FOLDER_ALL_USERS_PROFILE,
    FOLDER_QUICK_LAUNCH,
    FOLDER_COMMON_QUICK_LAUNCH,
    CSIDL_DESKTOP,
    CSIDL_DESKTOPDIRECTORY,
    CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_FONTS,
    CSIDL_PROGRAMS,
    CSIDL_COMMON_PROGRAMS,
    CSIDL_STARTMENU,
    CSIDL_COMMON_STARTMENU,
    CSIDL_STARTUP,
    CSIDL_COMMON_STARTUP,
    CSIDL_APPDATA,
    CSIDL_COMMON_APPDATA,
    CSIDL_LOCAL_APPDATA,
    CSIDL_COMMON_DOCUMENTS,
    CSIDL_PERSONAL,
    CSIDL_PROFILE,
    FOLDER_NATIVE_PROGRAM_FILES,
    FOLDER_NATIVE_COMMON_FILES,
    FOLDER_NATIVE_SYSTEM,
    FOLDER_LIST_END,
};

enum CacheState : BYTE { kNotResolved, kResolved, kUnresolvable };

static BYTE CachedState[ProtectedFolderCount];
static WCHAR CachedPath[ProtectedFolderCount][kPathCapacity];

bool ResolveProtectedFolder(int index, WCHAR* path) {
    if (index < 0 || index >= ProtectedFolderCount) return false;
    if (CachedState[index] == kNotResolved) {
        bool resolved = ResolveFolder(CachedPath[index], ProtectedFolderList[index]);
        CachedState[index] = resolved ? kResolved : kUnresolvable;
    }
    if (CachedState[index] != kResolved) return false;
    return CopyPath(path, kPathCapacity, CachedPath[index]);
}

void ForgetProtectedFolders() {
    for (int i = 0; i < ProtectedFolderCount; ++i) CachedState[i] = kNotResolved;
}
