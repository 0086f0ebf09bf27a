// Folder resolution: the shell look-up, the registry's Program Files values, and the
// hand-built paths used when the shell does not know a folder (old shells, or a failing one).
// Never hands back a path that was cut to fit, and never an empty one: callers compare these
// paths against folders they are about to delete, and expand them into commands.
#include "folders/resolve_folder.h"
#include "data/path_buffer.h"
#include "platform/api_table.h"
#include "platform/wow64.h"

static const WCHAR kQuickLaunch[] = L"Microsoft\\Internet Explorer\\Quick Launch";
static const WCHAR kCurrentVersionKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
static const WCHAR kProgramFilesValue[] = L"ProgramFilesDir";
static const WCHAR kCommonFilesValue[] = L"CommonFilesDir";
static const WCHAR kCommonFiles[] = L"Common Files";
static const WCHAR kDriveC[] = L"c:\\";
static const WCHAR kAllUsersTail[] = L"\\All Users";
static const WCHAR kProfilesAllUsers[] = L"Profiles\\All Users";
// Texts that end another text are pointers into it, which keeps the program part smaller.
static const WCHAR* const kAllUsers = kAllUsersTail + 1;  // "All Users"
static const WCHAR kAllUsersDesktop[] = L"All Users\\Desktop";
static const WCHAR kAllUsersAppData[] = L"All Users\\Application Data";
static const WCHAR kAllUsersDocuments[] = L"All Users\\Documents";
static const WCHAR kAdminAppData[] = L"Profiles\\Administrator\\Application Data";
// "Application Data" on its own is the end of the local-settings tail: one copy of the text.
#define LOCAL_SETTINGS L"\\Local Settings\\"
static const WCHAR kLocalSettingsTail[] = LOCAL_SETTINGS L"Application Data";
static const WCHAR* const kAppData = kLocalSettingsTail + ARRAYSIZE(LOCAL_SETTINGS) - 1;
static const WCHAR kAdminLocalAppData[] = L"Profiles\\Administrator\\Local Settings\\Application Data";
static const WCHAR kProfiles[] = L"Profiles\\";

// Length of a text the system wrote into a buffer of cch WCHARs, or cch when it holds no
// terminator at all.
static size_t BoundedLength(const WCHAR* text, size_t cch) {
    size_t i = 0;
    while (i < cch && text[i]) ++i;
    return i;
}

// Asks the shell for one CSIDL_ folder. False, path untouched, when the shell has no file
// system folder for it.
static bool QueryShellFolder(WCHAR* path, int csidl) {
    PIDLIST_ABSOLUTE items = nullptr;
    if (::SHGetSpecialFolderLocation(nullptr, csidl, &items) != S_OK || !items) return false;
    WCHAR found[kPathCapacity];
    found[0] = 0;
    BOOL ok = Platform.ApiTable.SHGetPathFromIDList(items, found);
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(items);
        allocator->Release();
    }
    // A virtual folder can succeed with no path; that is no folder of ours to use.
    size_t cch = BoundedLength(found, kPathCapacity);
    if (!ok || cch == 0 || cch == kPathCapacity) return false;
    return CopyPath(path, kPathCapacity, found);
}

// The three directory calls return the length without the terminator, or the size they would
// need (terminator included) when the buffer is too small, or 0 on failure.
static bool DirectoryCallFitted(WCHAR* path, UINT cch) {
    if (cch == 0 || cch >= kPathCapacity) {
        path[0] = 0;
        return false;
    }
    return true;
}

static bool WindowsDirectory(WCHAR* path) {
    return DirectoryCallFitted(path, Platform.ApiTable.GetWindowsDirectory(path, kPathCapacity));
}

// The Windows directory, a backslash unless it ends in one, then text.
static bool WindowsDirectoryPlus(WCHAR* path, const WCHAR* text) {
    return WindowsDirectory(path) && JoinPath(path, kPathCapacity, text);
}

// Cuts the path at its last backslash and again at the one before; false, path untouched,
// unless it has two.
static bool CutTwoLevels(WCHAR* path) {
    int last = LastBackslash(path, PathLength(path));
    if (last < 0) return false;
    int previous = LastBackslash(path, static_cast<size_t>(last));
    if (previous < 0) return false;
    CutPath(path, static_cast<size_t>(previous));
    return true;
}

// Builds an all-users folder by hand: the profiles root (NT) or the Windows directory (9x),
// then suffix. False only when the Windows directory cannot be read or the result does not fit.
static bool GetAllUsersFolder(WCHAR* path, const WCHAR* suffix) {
    if (!Platform.IsNT) return WindowsDirectoryPlus(path, suffix);
    // The user's application data lies two levels below the profiles root on NT.
    if (QueryShellFolder(path, CSIDL_APPDATA) && CutTwoLevels(path))
        return AppendPath(path, kPathCapacity, L"\\") && AppendPath(path, kPathCapacity, suffix);
    return WindowsDirectoryPlus(path, kProfiles) && AppendPath(path, kPathCapacity, suffix);
}

// Reads a path value straight into path. The registry does not promise a terminator, so one
// is added when the data leave room for it; 260 characters without one do not fit.
static bool ReadPathValue(HKEY key, const WCHAR* name, WCHAR* path) {
    DWORD type = 0;
    DWORD cb = kPathCapacity * sizeof(WCHAR);
    LONG status = Platform.ApiTable.RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(path), &cb);
    if (status != ERROR_SUCCESS) {
        path[0] = 0;
        return false;
    }
    size_t cch = cb / sizeof(WCHAR);
    if (cch < kPathCapacity) {
        path[cch] = 0;
    } else if (path[kPathCapacity - 1] != 0) {
        path[0] = 0;
        return false;
    }
    // An empty value names no folder; "Common Files" must not become a relative path.
    return path[0] != 0;
}

// The 64-bit view's values name the native folders on Windows and in Wine alike; Wine has no
// "ProgramW6432Dir", which Windows keeps in both views.
static bool ResolveProgramFiles(WCHAR* path, bool common, REGSAM view) {
    HKEY key = nullptr;
    if (Platform.ApiTable.RegOpenKeyEx(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_READ | view, &key) !=
        ERROR_SUCCESS)
        return false;
    bool ok = ReadPathValue(key, common ? kCommonFilesValue : kProgramFilesValue, path);
    if (!ok && common)
        ok = ReadPathValue(key, kProgramFilesValue, path) && JoinPath(path, kPathCapacity, kCommonFiles);
    ::RegCloseKey(key);
    return ok;
}

static bool ResolveAllUsersProfile(WCHAR* path) {
    if (QueryShellFolder(path, CSIDL_COMMON_DOCUMENTS)) {
        int last = LastBackslash(path, PathLength(path));
        if (last < 0) return CopyPath(path, kPathCapacity, kDriveC);
        // A documents folder at a drive's root leaves the root itself, backslash kept.
        if (last > 0 && path[last - 1] == L':')
            CutPath(path, static_cast<size_t>(last) + 1);
        else
            CutPath(path, static_cast<size_t>(last));
        return true;
    }
    if (!Platform.IsNT) return WindowsDirectoryPlus(path, kAllUsers);
    if (QueryShellFolder(path, CSIDL_APPDATA) && CutTwoLevels(path))
        return AppendPath(path, kPathCapacity, kAllUsersTail);
    return WindowsDirectoryPlus(path, kProfilesAllUsers);
}

static bool ResolveLocalAppData(WCHAR* path) {
    if (QueryShellFolder(path, CSIDL_LOCAL_APPDATA)) return true;
    if (Platform.IsNT && QueryShellFolder(path, CSIDL_APPDATA) && CutAtLastBackslash(path))
        return AppendPath(path, kPathCapacity, kLocalSettingsTail);
    return WindowsDirectoryPlus(path, Platform.IsNT ? kAdminLocalAppData : kAppData);
}

static bool ResolveProfile(WCHAR* path) {
    if (QueryShellFolder(path, CSIDL_PROFILE)) return true;
    if (!Platform.IsNT) return WindowsDirectory(path);
    // With no application data folder either there is nothing to derive the profile from;
    // the drive root stands in (it is never removed, and nothing below it is mistaken for it).
    if (QueryShellFolder(path, CSIDL_APPDATA) && CutAtLastBackslash(path)) return true;
    return CopyPath(path, kPathCapacity, kDriveC);
}

static bool ResolveByRule(WCHAR* path, DWORD code) {
    switch (code) {
    case FOLDER_WINDOWS:
        return WindowsDirectory(path);
    case FOLDER_SYSTEM:
        return DirectoryCallFitted(path, Platform.ApiTable.GetSystemDirectory(path, kPathCapacity));
    case FOLDER_TEMP:
        return DirectoryCallFitted(path, Platform.ApiTable.GetTempPath(kPathCapacity, path));
    case FOLDER_COMMON_QUICK_LAUNCH:
        return QueryShellFolder(path, CSIDL_COMMON_APPDATA) && JoinPath(path, kPathCapacity, kQuickLaunch);
    case FOLDER_QUICK_LAUNCH:
        return QueryShellFolder(path, CSIDL_APPDATA) && JoinPath(path, kPathCapacity, kQuickLaunch);
    case FOLDER_PROGRAM_FILES:
    case FOLDER_COMMON_FILES:
        return ResolveProgramFiles(path, code == FOLDER_COMMON_FILES, 0);
    case FOLDER_NATIVE_PROGRAM_FILES:
    case FOLDER_NATIVE_COMMON_FILES:
        return RunsUnderWow64() && ResolveProgramFiles(path, code == FOLDER_NATIVE_COMMON_FILES, KEY_WOW64_64KEY);
    case FOLDER_NATIVE_SYSTEM:
        return RunsUnderWow64() && WindowsDirectoryPlus(path, L"Sysnative");
    case FOLDER_ALL_USERS_PROFILE:
        return ResolveAllUsersProfile(path);
    case CSIDL_COMMON_DESKTOPDIRECTORY:
        return QueryShellFolder(path, CSIDL_COMMON_DESKTOPDIRECTORY) || GetAllUsersFolder(path, kAllUsersDesktop);
    case CSIDL_COMMON_APPDATA:
        return QueryShellFolder(path, CSIDL_COMMON_APPDATA) || GetAllUsersFolder(path, kAllUsersAppData);
    case CSIDL_COMMON_DOCUMENTS:
        return QueryShellFolder(path, CSIDL_COMMON_DOCUMENTS) || GetAllUsersFolder(path, kAllUsersDocuments);
    case CSIDL_APPDATA:
        return QueryShellFolder(path, CSIDL_APPDATA) ||
               WindowsDirectoryPlus(path, Platform.IsNT ? kAdminAppData : kAppData);
    case CSIDL_LOCAL_APPDATA:
        return ResolveLocalAppData(path);
    case CSIDL_PROFILE:
        return ResolveProfile(path);
    case FOLDER_PROFILES_ROOT:
        // The 9x family without profiles keeps the user's folders in the Windows directory,
        // whose parent is a drive root: no profiles root there.
        return ResolveProfile(path) && CutAtLastBackslash(path) && PathLength(path) > 3;
    default:
        return QueryShellFolder(path, static_cast<int>(code));
    }
}

bool ResolveFolder(WCHAR* path, DWORD code) {
    if (!path) return false;
    if (!ResolveByRule(path, code)) return false;
    // An empty value or a cut that left nothing names no folder.
    return path[0] != 0;
}
