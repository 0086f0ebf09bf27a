// The protected-folder list, its resolution and the comparison of a folder with it, cached for
// the life of the process.
#include "folders/protected_folders.h"
#include "data/path_buffer.h"
#include "folders/resolve_folder.h"
#include "platform/api_table.h"
#include "platform/wow64.h"

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
    // The other shell folders of the user and of all users; where they lie in a profile, the
    // rule on profiles covers other users' too. CSIDL_SYSTEMX86 is SysWOW64 on 64-bit Windows.
    CSIDL_FAVORITES,
    CSIDL_COMMON_FAVORITES,
    CSIDL_RECENT,
    CSIDL_SENDTO,
    CSIDL_TEMPLATES,
    CSIDL_COMMON_TEMPLATES,
    CSIDL_MYMUSIC,
    CSIDL_COMMON_MUSIC,
    CSIDL_MYPICTURES,
    CSIDL_COMMON_PICTURES,
    CSIDL_MYVIDEO,
    CSIDL_COMMON_VIDEO,
    CSIDL_NETHOOD,
    CSIDL_PRINTHOOD,
    CSIDL_INTERNET_CACHE,
    CSIDL_COOKIES,
    CSIDL_HISTORY,
    CSIDL_ADMINTOOLS,
    CSIDL_COMMON_ADMINTOOLS,
    CSIDL_SYSTEMX86,
    CSIDL_PROGRAM_FILESX86,
    // Last, for the rule on profiles in MatchesProtectedFolder.
    FOLDER_PROFILES_ROOT,
    FOLDER_LIST_END,
};

// A folder as MatchesProtectedFolder compares it.
struct FolderKey {
    WCHAR text[kPathCapacity];       // canonical full path
    WCHAR shortText[kPathCapacity];  // its short form where the folder exists; empty until needed
    DWORD id[3];                     // volume serial number, file index high and low; all 0 when unknown
};

// One entry of the list once resolved, in one block per entry: each place that names the cache
// costs the program a relocation entry.
struct CachedFolder {
    BYTE state;  // kNotResolved, kResolved or kUnresolvable
    WCHAR path[kPathCapacity];
    FolderKey key;
};
enum CacheState : BYTE { kNotResolved, kResolved, kUnresolvable };
static CachedFolder Cache[ProtectedFolderCount];

// The canonical full path of path into out (kPathCapacity WCHARs); false when it cannot be
// computed. The \\?\ and \??\ forms name the same folders as the plain ones: Windows passes them
// to the file system as they are and Wine strips trailing dots (WINE-NOTES), so the prefix goes
// first and GetFullPathName folds the rest (dots, blanks, "/", "." and "..").
static bool FullText(const WCHAR* path, WCHAR* out) {
    WCHAR plain[kPathCapacity];
    size_t at = 0;
    if (path[0] == L'\\' && (path[1] == L'\\' || path[1] == L'?') && (path[2] == L'?' || path[2] == L'.') &&
        path[3] == L'\\') {
        path += 4;
        if (EqualNoCaseAscii(path, L"UNC\\", 4)) {
            path += 3;
            plain[at++] = L'\\';
        }
    }
    if (!CopyPath(plain + at, kPathCapacity - at, path)) return false;
    DWORD cch = Platform.ApiTable.GetFullPathName(plain, kPathCapacity, out, nullptr);
    if (cch == 0 || cch >= kPathCapacity) return false;
    cch = PathLength(out);
    if (cch > 3 && out[cch - 1] == L'\\') out[cch - 1] = 0;
    return true;
}

// The short form of a canonical full path, where the folder exists: it is the same whichever
// names were written. Costs a look-up per component, so it is taken only where no identity
// decides.
static void ShortText(const WCHAR* full, WCHAR* out) {
    DWORD cch = Platform.ApiTable.GetShortPathName(full, out, kPathCapacity);
    if (cch == 0 || cch >= kPathCapacity) CopyPath(out, kPathCapacity, full);
}

typedef LONG(WINAPI* QueryInformationFileFn)(HANDLE, ULONG_PTR* status, void* info, ULONG cb, ULONG infoClass);
static const ULONG kFileInternalInformation = 6;

// NT's own call for what a handle names, looked up once; null where the system lacks it.
static QueryInformationFileFn QueryInformationFile() {
    static QueryInformationFileFn call;
    static bool looked;
    if (!looked) {
        call = CastProc<QueryInformationFileFn>(
            ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile"));
        looked = true;
    }
    return call;
}

// The identity of the folder path names, read through a handle as the file calls see it (a
// junction or a substituted drive leads to its target); left all 0 where there is none, as on
// the 9x family, which cannot open a folder. Wine answers GetFileInformationByHandle with a round
// trip to its mount manager for the volume serial number, about 2 ms and three times per check,
// while the file index comes from the handle itself: so unless `whole`, the index is read alone
// where NT's own call is there, and the volume too only when the index is an entry's. An index
// that no entry has already tells the folder apart, whatever its volume (left 0).
static void ReadIdentity(const WCHAR* path, DWORD* id, bool whole = false) {
    id[0] = id[1] = id[2] = 0;
    HANDLE folder = Platform.ApiTable.CreateFile(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return;
    QueryInformationFileFn query = QueryInformationFile();
    ULONG_PTR status[2];
    DWORD index[2];
    if (!whole && query && query(folder, status, index, sizeof index, kFileInternalInformation) >= 0) {
        id[1] = index[1];
        id[2] = index[0];
        // Where the low halves meet, the volume tells (an entry not resolved only costs the read).
        for (const CachedFolder& entry : Cache) whole |= entry.key.id[2] == index[0];
    } else {
        whole = true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (whole) {
        // An index shared with an entry and no volume to tell them apart would read as another folder.
        id[1] = id[2] = 0;
        if (::GetFileInformationByHandle(folder, &info)) {
            id[0] = info.dwVolumeSerialNumber;
            id[1] = info.nFileIndexHigh;
            id[2] = info.nFileIndexLow;
        }
    }
    ::CloseHandle(folder);
}

// The same folder: by identity where both are known (a folder's file index is never 0), by
// full path, and by short form, which each side takes on first need: the look-ups it costs are
// spent only where an identity is unknown and the entry has a short form apart from its full
// path (a folder that exists, whose identity is known, is never the short spelling of an entry
// that did not exist when it was resolved).
static bool SameFolder(FolderKey& key, FolderKey& entry) {
    if (key.id[2] && key.id[0] == entry.id[0] && key.id[1] == entry.id[1] && key.id[2] == entry.id[2]) return true;
    if (SamePath(key.text, entry.text)) return true;
    if (key.id[2] && entry.id[2]) return false;
    if (!entry.shortText[0]) ShortText(entry.text, entry.shortText);
    if (key.id[2] && SamePath(entry.text, entry.shortText)) return false;
    if (!key.shortText[0]) ShortText(key.text, key.shortText);
    return SamePath(key.shortText, entry.shortText);
}

// The entry, resolved once, or null where it does not resolve. Its key comes from the path as
// resolved, whose text stays as it is when its full form cannot be computed.
static CachedFolder* FillCache(int index) {
    CachedFolder* entry = &Cache[index];
    if (entry->state == kNotResolved) {
        entry->state = kUnresolvable;
        if (ResolveFolder(entry->path, ProtectedFolderList[index])) {
            if (!FullText(entry->path, entry->key.text)) CopyPath(entry->key.text, kPathCapacity, entry->path);
            entry->key.shortText[0] = 0;
            ReadIdentity(entry->path, entry->key.id, true);
            entry->state = kResolved;
        }
    }
    return entry->state == kResolved ? entry : nullptr;
}

bool ResolveProtectedFolder(int index, WCHAR* path) {
    const CachedFolder* entry = index >= 0 && index < ProtectedFolderCount ? FillCache(index) : nullptr;
    return entry && CopyPath(path, kPathCapacity, entry->path);
}

bool MatchesProtectedFolder(const WCHAR* path) {
    // Resolved with redirection as it is by default, like every other caller of the shell.
    for (int i = 0; i < ProtectedFolderCount; ++i) FillCache(i);
    NativeFileSystem native;
    FolderKey key;
    // A drive root is protected whatever the list holds.
    if (!FullText(path, key.text) || PathLength(key.text) <= 3) return true;
    key.shortText[0] = 0;
    ReadIdentity(path, key.id);
    // The folder itself against every entry; then its parent and grandparent against the last,
    // the profiles root: so the root, every profile in it and every folder directly in a profile,
    // other users' too, are protected.
    for (int i = 0, up = 0;; ++i) {
        if (i == ProtectedFolderCount) {
            if (++up == 3 || !CutAtLastBackslash(key.text) || PathLength(key.text) <= 3) return false;
            CutAtLastBackslash(key.shortText);
            ReadIdentity(key.text, key.id);
            i = ProtectedFolderCount - 1;
        }
        CachedFolder* entry = FillCache(i);
        if (entry && SameFolder(key, entry->key)) return true;
    }
}

void ForgetProtectedFolders() {
    for (CachedFolder& entry : Cache) entry.state = kNotResolved;
}
