// Record paths: macro expansion, the "." rule and the full-path rule for each kind of record.
#include "removal/record_paths.h"
#include "data/path_buffer.h"

static bool IsSeparator(WCHAR c) { return c == L'\\' || c == L'/'; }

// "X:\": a drive letter, a colon and a separator.
static bool IsDriveRoot(const WCHAR* path) {
    WCHAR letter = static_cast<WCHAR>(path[0] | 0x20);
    return letter >= L'a' && letter <= L'z' && path[1] == L':' && IsSeparator(path[2]);
}

bool IsFullPath(const WCHAR* path) {
    if (IsDriveRoot(path)) return true;
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) return false;
    // "\\?\" passes the rest to the object manager as it stands: only a drive or a share
    // behind it is a file system path.
    if (path[2] == L'?' && IsSeparator(path[3]))
        return IsDriveRoot(path + 4) ||
               (EqualNoCaseAscii(path + 4, L"unc", 3) && IsSeparator(path[7]) && path[8] && !IsSeparator(path[8]));
    // A server's name: "\\.\" and "\\?x" name devices or nothing, "\\\" no server at all.
    return path[2] && path[2] != L'.' && path[2] != L'?' && !IsSeparator(path[2]);
}

static PathVerdict Usable(WCHAR* path, PathVerdict verdict) {
    if (verdict == PathUsable && !IsFullPath(path)) verdict = PathNotFull;
    if (verdict != PathUsable) path[0] = 0;
    return verdict;
}

PathVerdict BuildFileRecordPath(const WCHAR* directory, const WCHAR* fileName, WCHAR* path) {
    PathVerdict verdict = PathTooLong;
    if (directory[0] == L'.') {
        if (CopyPath(path, kPathCapacity, Paths.InstallDir) &&
            (directory[1] != L'\\' || AppendPath(path, kPathCapacity, directory + 2)))
            verdict = PathUsable;
    } else {
        verdict = ExpandLeadingMacro(path, directory);
    }
    if (verdict == PathUsable && fileName[0] && !JoinPath(path, kPathCapacity, fileName)) verdict = PathTooLong;
    return Usable(path, verdict);
}

PathVerdict BuildShortcutFolders(const ShortcutEntry* entry, WCHAR* first, WCHAR* second) {
    second[0] = 0;
    PathVerdict verdict = Usable(first, ExpandLeadingMacro(first, entry->firstFolder));
    if (verdict == PathUsable && entry->secondFolder[0])
        verdict = Usable(second, ExpandLeadingMacro(second, entry->secondFolder));
    return verdict;
}

PathVerdict BuildShortcutFilePath(const ShortcutEntry* entry, WCHAR* path) {
    WCHAR second[kPathCapacity];
    PathVerdict verdict = BuildShortcutFolders(entry, path, second);
    if (verdict == PathUsable && !JoinPath(path, kPathCapacity, entry->fileName)) verdict = PathTooLong;
    return Usable(path, verdict);
}
