// Verify's checks. Each problem says where it is, what is wrong and what the uninstaller would
// do with it. System folders are matched by their shape on this machine, in the spelling Windows
// reads, and a path that begins with a folder macro as the folder the macro names on an English
// system; registry records by the uninstaller's own list of what Windows owns; files by the names
// of Windows' own files (windows_files.cpp).
#include "tools/uninstpack/checks.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>

#include "src/data/system_registry.h"
#include "src/folders/folder_macro_names.h"
#include "tools/uninstpack/manifest.h"
#include "tools/uninstpack/text.h"
#include "tools/uninstpack/windows_files.h"

namespace uninstpack {

namespace {

std::string N(size_t v) { return std::to_string(v); }

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::u16string Fold(const std::u16string& s) {
    std::u16string out;
    for (char16_t c : s) out.push_back(c == u'/' ? u'\\' : FoldAscii(c));
    return out;
}

std::u16string TrimBackslashes(std::u16string s) {
    while (!s.empty() && s.back() == u'\\') s.pop_back();
    size_t first = s.find_first_not_of(u'\\');
    return first == std::u16string::npos ? std::u16string() : s.substr(first);
}

std::vector<std::u16string> Components(const std::u16string& path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
        size_t bs = path.find(u'\\', start);
        parts.push_back(path.substr(start, bs == std::u16string::npos ? std::u16string::npos : bs - start));
        if (bs == std::u16string::npos) return parts;
        start = bs + 1;
    }
}

// True when name is one of the "|"-separated names of alternatives.
bool OneOf(const std::u16string& name, const std::u16string& alternatives) {
    for (size_t start = 0;;) {
        size_t bar = alternatives.find(u'|', start);
        if (alternatives.compare(start, bar == std::u16string::npos ? std::u16string::npos : bar - start, name) == 0)
            return true;
        if (bar == std::u16string::npos) return false;
        start = bar + 1;
    }
}

// Pattern components: "?:" is any drive, "*" any single name, "a|b" either name.
bool MatchComponents(const std::vector<std::u16string>& path, const std::vector<std::u16string>& pattern) {
    if (path.size() != pattern.size()) return false;
    for (size_t i = 0; i < path.size(); ++i) {
        const std::u16string& p = pattern[i];
        if (p == u"*") {
            if (path[i].empty()) return false;
        } else if (p == u"?:") {
            if (path[i].size() != 2 || path[i][1] != u':') return false;
        } else if (!OneOf(path[i], p)) {
            return false;
        }
    }
    return true;
}

// Folders of the system or shared by every program, by the names they have on an English
// system; a record naming one of them literally is a mistake in the data wherever it runs.
const char16_t* const kSystemFolders[] = {
    u"?:\\windows", u"?:\\windows\\system", u"?:\\windows\\system32", u"?:\\windows\\syswow64",
    u"?:\\windows\\fonts", u"?:\\windows\\temp", u"?:\\windows\\start menu", u"?:\\windows\\start menu\\programs",
    u"?:\\windows\\desktop", u"?:\\winnt", u"?:\\winnt\\system32", u"?:\\winnt\\fonts", u"?:\\program files",
    u"?:\\program files (x86)", u"?:\\program files\\common files", u"?:\\program files (x86)\\common files",
    u"?:\\programdata", u"?:\\programdata\\microsoft\\windows\\start menu",
    u"?:\\programdata\\microsoft\\windows\\start menu\\programs",
    u"?:\\programdata\\microsoft\\windows\\start menu\\programs\\startup", u"?:\\users", u"?:\\users\\*",
    u"?:\\users\\*\\desktop", u"?:\\users\\*\\documents", u"?:\\users\\*\\appdata",
    u"?:\\users\\*\\appdata\\local", u"?:\\users\\*\\appdata\\roaming",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\windows\\start menu",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\windows\\start menu\\programs",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\windows\\start menu\\programs\\startup",
    u"?:\\documents and settings", u"?:\\documents and settings\\*", u"?:\\documents and settings\\*\\desktop",
    u"?:\\documents and settings\\*\\start menu", u"?:\\documents and settings\\*\\start menu\\programs",
    u"?:\\documents and settings\\*\\my documents", u"?:\\documents and settings\\*\\application data"};

// More of them, "a|b" for either name: every profile and every folder directly inside one (the
// user's shell folders, other users' too), the shell folders deeper in a profile and in the
// profile of all users, and the folders of Windows itself and of its programs.
const char16_t* const kShellAndWindowsFolders[] = {
    u"?:\\users|documents and settings\\*\\*",
    u"?:\\users\\*\\documents\\my music|my pictures|my videos",
    u"?:\\users\\*\\appdata\\locallow",
    u"?:\\users\\*\\appdata\\local\\microsoft|temp|programs|packages",
    u"?:\\users\\*\\appdata\\local\\microsoft\\windows",
    u"?:\\users\\*\\appdata\\local\\microsoft\\windows\\history|inetcache|temporary internet files|burn",
    u"?:\\users\\*\\appdata\\roaming\\microsoft",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\windows",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\windows\\sendto|templates|recent|network shortcuts|"
    u"printer shortcuts|libraries|cookies|themes",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\internet explorer",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\internet explorer\\quick launch",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\internet explorer\\quick launch\\user pinned",
    u"?:\\users\\*\\appdata\\roaming\\microsoft\\internet explorer\\quick launch\\user pinned\\taskbar|startmenu",
    u"?:\\documents and settings\\*\\my documents\\my music|my pictures|my videos",
    u"?:\\documents and settings\\*\\local settings\\application data|temp|history|temporary internet files",
    u"?:\\documents and settings\\*\\application data\\microsoft",
    u"?:\\documents and settings\\*\\application data\\microsoft\\internet explorer\\quick launch",
    u"?:\\documents and settings\\*\\start menu\\programs\\startup",
    u"?:\\programdata\\desktop|documents|favorites|start menu|templates|application data",
    u"?:\\programdata\\microsoft|microsoft\\windows|microsoft\\windows\\templates",
    u"?:\\windows|winnt",
    u"?:\\windows|winnt\\system|system32|syswow64|sysnative|fonts|temp|inf|help|media|cursors|web|resources|"
    u"globalization|installer|assembly|microsoft.net|winsxs|servicing|logs|tasks|debug|prefetch|boot|ime|"
    u"policydefinitions|registration|schemas|security|shellnew|speech|performance|twain_32|command|"
    u"offline web pages|downloaded program files|start menu|desktop|profiles|all users|application data|sendto|"
    u"recent|favorites|cookies|history|temporary internet files|spool|repair|config",
    u"?:\\windows|winnt\\system32|syswow64|sysnative\\drivers|config|spool|catroot|catroot2|wbem|tasks|logfiles|"
    u"oobe|grouppolicy|windowspowershell|dllcache|mui|speech|en-us|driverstore|com|ime|migration|msdtc|ras|"
    u"restore|setup|sysprep|inetsrv",
    u"?:\\windows|winnt\\system32|syswow64|sysnative\\drivers\\etc|umdf",
    u"?:\\windows|winnt\\system32|syswow64|sysnative\\spool\\drivers|printers|prtprocs",
    u"?:\\windows|winnt\\system32|syswow64|sysnative\\windowspowershell\\v1.0",
    u"?:\\windows|winnt\\start menu\\programs",
    u"?:\\windows|winnt\\start menu\\programs\\startup",
    u"?:\\windows|winnt\\profiles\\*",
    u"?:\\windows|winnt\\profiles\\*\\*",
    u"?:\\windows|winnt\\profiles\\*\\start menu\\programs",
    u"?:\\windows|winnt\\profiles\\*\\start menu\\programs\\startup",
    u"?:\\program files|program files (x86)\\common files|internet explorer|windows nt|windows defender|"
    u"windows mail|windows media player|windows photo viewer|windows sidebar|windowsapps|microsoft.net|"
    u"reference assemblies|msbuild|windows portable devices|windows security|uninstall information|"
    u"windowspowershell|modifiablewindowsapps",
    u"?:\\program files|program files (x86)\\windows nt\\accessories",
    u"?:\\program files|program files (x86)\\common files\\system|microsoft shared|services|speechengines"};

// The folder each macro names, in kFolderMacroNames' order, where an English Windows keeps it
// (user "u"): what the safety checks compare and the length check counts. "#InstallDir#" is the
// uninstaller's own folder, ".".
const char16_t* const kMacroShapes[] = {
    u"C:\\Windows", u"C:\\Windows\\System32", u"C:\\Program Files\\Common Files", u"C:\\Program Files",
    u"C:\\Users\\u\\Documents", u"C:\\Users\\u\\Desktop", u"C:\\Users\\u\\AppData\\Roaming",
    u"C:\\Users\\u\\AppData\\Local", u"C:\\Users\\u",
    u"C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
    u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
    u"C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
    u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu",
    u"C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
    u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", u"C:\\Users\\Public\\Desktop",
    u"C:\\Windows\\Fonts", u"C:\\ProgramData", u"C:\\Users\\Public\\Documents",
    u"C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch", u"."};
static_assert(sizeof(kMacroShapes) / sizeof(*kMacroShapes) == kFolderMacroCount, "one shape per macro");

// "#Name#" of every macro, as kFolderMacroNames spells them.
const std::vector<std::u16string>& MacroNames() {
    static const std::vector<std::u16string> names = [] {
        std::vector<std::u16string> all;
        const std::string packed = kFolderMacroNames;
        for (size_t at = 0; at + 1 < packed.size(); at = packed.find('#', at + 1))
            all.emplace_back(packed.begin() + at, packed.begin() + packed.find('#', at + 1) + 1);
        return all;
    }();
    return names;
}

// The index of the macro a token ("#" to "#") names, ignoring the case of ASCII letters; -1 if none.
int MacroIndex(const std::u16string& token) {
    std::u16string folded = Fold(token);
    for (size_t i = 0; i < MacroNames().size(); ++i)
        if (Fold(MacroNames()[i]) == folded) return static_cast<int>(i);
    return -1;
}

// The leading "#...#" token of a path: empty when it does not begin with "#", the whole text
// when no second "#" closes it.
std::u16string LeadingToken(const std::u16string& path) {
    if (path.empty() || path[0] != u'#') return {};
    size_t close = path.find(u'#', 1);
    return close == std::u16string::npos ? path : path.substr(0, close + 1);
}

// The path with a leading known macro replaced by its shape; any other path as it is.
std::u16string WithMacroShape(const std::u16string& path) {
    std::u16string token = LeadingToken(path);
    int index = token.empty() ? -1 : MacroIndex(token);
    return index < 0 ? path : kMacroShapes[index] + path.substr(token.size());
}

// Why a folder path must not be removed, or empty when it is an ordinary folder.
std::string SystemFolderReason(const std::u16string& folder) {
    // A macro on its own names a folder of the system or the shell on every machine.
    std::u16string token = LeadingToken(folder);
    int macro = token.empty() ? -1 : MacroIndex(token);
    if (macro >= 0 && macro != kInstallDirMacro && TrimBackslashes(Fold(folder.substr(token.size()))).empty())
        return "names the system folder " + Printable(token);
    std::u16string f = Fold(WithMacroShape(folder));
    if (f.empty() || f[0] == u'.') return {};  // relative to the installation directory
    while (!f.empty() && f.back() == u'\\') f.pop_back();
    if (f.empty()) return "names the root of the current drive";
    if (f.size() == 2 && f[1] == u':') return "names the drive root " + Printable(folder);
    if (f.size() > 2 && f[0] == u'\\' && f[1] == u'\\') {
        std::vector<std::u16string> unc = Components(f.substr(2));
        if (unc.size() <= 2) return "names the root of a network share";
    }
    static const std::vector<std::vector<std::u16string>> patterns = [] {
        std::vector<std::vector<std::u16string>> all;
        for (const char16_t* pattern : kSystemFolders) all.push_back(Components(pattern));
        for (const char16_t* pattern : kShellAndWindowsFolders) all.push_back(Components(pattern));
        return all;
    }();
    std::vector<std::u16string> parts = Components(f);
    for (const std::vector<std::u16string>& pattern : patterns)
        if (MatchComponents(parts, pattern)) return "names the system folder " + Printable(folder);
    return {};
}

bool StartsWithFolded(const std::u16string& text, const char16_t* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || FoldAscii(text[i]) != prefix[i]) return false;
    return true;
}

// A full path as Windows reads it, as far as the build machine can tell: "/" as "\", without
// the "\\?\", "\\?\UNC\", "\??\" and "\\.\" prefixes, without empty, "." and ".." steps, and
// without the dots and blanks at the end of a step that Windows drops (every step's: more than
// Windows drops in the middle of a path, which only ever refuses more). A text that is not a
// full path (relative, or a folder macro) comes back as it is.
std::u16string CanonicalSpelling(const std::u16string& path) {
    std::u16string p = path;
    for (char16_t& c : p)
        if (c == u'/') c = u'\\';
    for (const char16_t* prefix : {u"\\\\?\\unc\\", u"\\??\\unc\\", u"\\\\.\\unc\\", u"\\\\?\\", u"\\??\\", u"\\\\.\\"}) {
        if (!StartsWithFolded(p, prefix)) continue;
        size_t cch = std::char_traits<char16_t>::length(prefix);
        p = (cch > 4 ? u"\\\\" : u"") + p.substr(cch);
        break;
    }
    std::u16string root;
    size_t rest = 0;
    bool letter = !p.empty() && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
    if (letter && p.size() >= 3 && p[1] == u':' && p[2] == u'\\') {
        root = p.substr(0, 3);
        rest = 3;
    } else if (p.size() > 2 && p[0] == u'\\' && p[1] == u'\\') {
        // The server and the share are the root: ".." never climbs above them.
        size_t server = p.find(u'\\', 2);
        size_t share = server == std::u16string::npos ? server : p.find(u'\\', server + 1);
        root = p.substr(0, share);
        rest = share == std::u16string::npos ? p.size() : share + 1;
    } else {
        return path;
    }
    std::vector<std::u16string> steps;
    for (std::u16string step : Components(p.substr(rest))) {
        if (step == u"..") {
            if (!steps.empty()) steps.pop_back();
            continue;
        }
        while (!step.empty() && (step.back() == u'.' || step.back() == u' ')) step.pop_back();
        if (!step.empty()) steps.push_back(step);
    }
    for (size_t i = 0; i < steps.size(); ++i) root += (i || root.back() != u'\\' ? u"\\" : u"") + steps[i];
    return root;
}

// SystemFolderReason of the folder as Windows reads it (a leading macro as the folder it names),
// saying so when that differs from the text.
std::string ProtectedFolderReason(const std::u16string& folder) {
    std::string reason = SystemFolderReason(folder);
    if (!reason.empty()) return reason;
    std::u16string shaped = WithMacroShape(folder);
    std::u16string canonical = CanonicalSpelling(shaped);
    reason = SystemFolderReason(canonical);
    if (reason.empty() || TrimBackslashes(Fold(canonical)) == TrimBackslashes(Fold(folder))) return reason;
    if (shaped != folder) {
        std::u16string token = LeadingToken(folder);
        std::u16string shape = shaped.substr(0, shaped.size() - (folder.size() - token.size()));
        return reason + " (" + Printable(token) + " names " + Printable(shape) + " on an English system)";
    }
    return reason + " (Windows reads " + Printable(folder) + " as " + Printable(canonical) + ")";
}

bool IsDrive(const std::u16string& step) { return step.size() == 2 && step[1] == u':'; }

// Which folder of Windows the components of a folded, canonical folder path are, by shape.
std::optional<WindowsFolder> WindowsFolderOf(const std::vector<std::u16string>& parts) {
    if (parts.size() < 2 || !IsDrive(parts[0]) || !OneOf(parts[1], u"windows|winnt")) return std::nullopt;
    if (parts.size() == 2) return WindowsFolder::Windows;
    if (parts.size() == 3 && parts[2] == u"fonts") return WindowsFolder::Fonts;
    if (!OneOf(parts[2], u"system|system32|syswow64|sysnative")) return std::nullopt;
    if (parts.size() == 3) return WindowsFolder::System;
    if (parts[3] != u"drivers") return std::nullopt;
    if (parts.size() == 4) return WindowsFolder::Drivers;
    if (parts.size() == 5 && parts[4] == u"etc") return WindowsFolder::Etc;
    return std::nullopt;
}

bool ShipsWithWindows(WindowsFolder folder, const std::u16string& name) {
    std::string ascii;
    for (char16_t c : name) {
        if (c >= 0x80) return false;
        ascii.push_back(static_cast<char>(c));
    }
    for (const WindowsFileList& list : kWindowsFileLists)
        if (list.folder == folder)
            return std::binary_search(list.names, list.names + list.count, ascii,
                                      [](const std::string& a, const std::string& b) { return a < b; });
    return false;
}

// A file record in the Windows folder tree: one of Windows' own files is refused; any other
// needs a flag that says why it is there.
void CheckWindowsFile(const FileRecord& r, const std::string& where, std::vector<Problem>& out) {
    if (r.fileName.empty() || r.directory.empty() || r.directory[0] == u'.') return;
    std::u16string path = CanonicalSpelling(WithMacroShape(r.directory) + u'\\' + r.fileName);
    std::vector<std::u16string> folder = Components(Fold(path));
    if (folder.size() < 3 || !IsDrive(folder[0]) || !OneOf(folder[1], u"windows|winnt")) return;
    std::u16string name = folder.back();
    folder.pop_back();
    std::optional<WindowsFolder> own = WindowsFolderOf(folder);
    if (own && ShipsWithWindows(*own, name)) {
        out.push_back({where, "names " + Printable(path) + ", a file that ships with Windows; the uninstaller would "
                                  "delete it wherever the system's own file protection does not keep it", true});
        return;
    }
    if (!(r.flags & (kFileShared | kFileFont | kFileCom)))
        out.push_back({where, "names " + Printable(path) + " in the Windows folder tree without the shared, font or "
                                  "COM flag; the uninstaller deletes it without asking whether anything else uses "
                                  "it (give \"shared\" for a file other programs may use)"});
}

// The steps of a path after its root: plain names, each a name a folder or file can have.
std::string StepMistake(const std::u16string& rest, bool trailingBackslash) {
    if (rest.empty() && trailingBackslash) return {};  // a drive root: refused as a folder, fine for a file
    std::vector<std::u16string> steps = Components(rest);
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::u16string& step = steps[i];
        if (step.empty()) {
            if (i + 1 == steps.size() && trailingBackslash && i > 0) continue;
            return "has an empty step (two backslashes in a row, or one at the end); write each folder name once";
        }
        if (step == u"." || step == u"..")
            return "has a \"" + std::string(step.size(), '.') +
                   "\" step; the uninstaller uses the path as written, so its protected-folder test would not "
                   "see where it leads; write the folder's own path";
        for (char16_t c : step)
            if (c < 0x20 || std::u16string(u"<>:\"|?*").find(c) != std::u16string::npos)
                return "holds the character " + Printable(std::u16string(1, c)) +
                       ", which no Windows file or folder name holds";
    }
    return {};
}

// A known macro anywhere but at the start: the uninstaller would take it as part of a name.
std::string LaterMacroMistake(const std::u16string& p, size_t from) {
    for (size_t at = p.find(u'#', from); at != std::u16string::npos; at = p.find(u'#', at + 1)) {
        size_t close = p.find(u'#', at + 1);
        if (close == std::u16string::npos) break;
        if (MacroIndex(p.substr(at, close - at + 1)) >= 0)
            return "holds the folder macro " + Printable(p.substr(at, close - at + 1)) +
                   " after its start; the uninstaller expands a macro only at the start of a directory or folder, "
                   "and elsewhere takes it as part of a name";
    }
    return {};
}

}  // namespace

std::string PathMistake(const std::u16string& path, PathKind kind) {
    std::u16string p = path;
    for (char16_t& c : p)
        if (c == u'/') c = u'\\';
    std::string later = LaterMacroMistake(p, kind == PathKind::FileName ? 0 : 1);
    if (!later.empty()) return later;
    std::u16string token = kind == PathKind::FileName ? std::u16string() : LeadingToken(p);
    if (!token.empty()) {
        if (MacroIndex(token) < 0) {
            std::string known;
            for (const std::u16string& name : MacroNames()) known += (known.empty() ? "" : ", ") + Plain(name);
            return "begins with " + Printable(token) +
                   ", which is no folder macro the uninstaller knows, so it would remove nothing for the record; "
                   "the macros are " + known;
        }
        if (p.size() > token.size() && p[token.size()] != u'\\')
            return "runs on from its macro " + Printable(token) + " without a backslash; write \"" + Plain(token) +
                   "\\NAME\"";
        return p.size() > token.size() + 1 ? StepMistake(p.substr(token.size() + 1), true) : std::string();
    }
    if (p.empty())
        return kind == PathKind::Directory
                   ? "is empty; write \".\" for the uninstaller's own folder or a full path such as \"C:\\App\""
                   : std::string();
    if (kind == PathKind::FileName) return StepMistake(p, false);
    if (p[0] == u'.') {
        if (kind == PathKind::Directory) {
            if (p == u"." || p == u".\\") return {};
            if (p.size() > 2 && p[1] == u'\\') return StepMistake(p.substr(2), true);
            return "begins with \".\" but not with \".\\\"; the uninstaller would take it as its own folder; write "
                   "\".\" for that folder, or \".\\NAME\" for one below it";
        }
        return "is not a full path; shortcut folders are used as written; write one such as \"C:\\...\"";
    }
    bool letter = (p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z');
    if (p.size() >= 2 && letter && p[1] == u':') {
        std::string drive = std::string(1, static_cast<char>(p[0])) + ":";
        if (p.size() == 2 || p[2] != u'\\')
            return "is relative to the current folder of drive " + drive + ", which the uninstaller does not "
                   "choose; write \"" + drive + "\\\" and the whole path";
        return StepMistake(p.substr(3), true);
    }
    if (p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\') {
        std::string mistake = StepMistake(p.substr(2), true);
        if (!mistake.empty()) return mistake;
        if (Components(TrimBackslashes(p)).size() < 2) return "names no share; write \"\\\\SERVER\\SHARE\\...\"";
        return {};
    }
    if (p[0] == u'\\')
        return "is relative to the root of whatever drive is current; write the drive too, as in \"C:" + Plain(p) +
               "\"";
    if (p[0] == u'%')
        return "begins with an environment variable, which the uninstaller does not expand; write a folder macro "
               "such as \"#AppData#\\...\" or the full path";
    if (kind == PathKind::Directory)
        return "is relative to the uninstaller's current folder, not to its own folder; write \".\\" + Plain(p) +
               "\" for a folder below the uninstaller's, or a full path";
    return "is not a full path; shortcut folders are used as written; write one such as \"C:\\...\"";
}

namespace {

// Why the uninstaller leaves a registry record alone as Windows' (the list it shares with the
// uninstaller decides), or empty when the record is the product's.
std::string SystemRegistryReason(uint32_t root, const RegistryTarget& t) {
    bool owned = t.isValue ? IsSystemOwnedRegistry(root, t.key.data(), t.key.size(), t.value.data(), t.value.size())
                           : IsSystemOwnedRegistry<char16_t>(root, t.key.data(), t.key.size(), nullptr, 0);
    if (!owned) return {};
    if (t.isValue) return "is one Windows owns";
    if (root > kRootUsers) return "lies in a predefined key that holds nothing of a product's";
    std::vector<std::u16string> parts = Components(Fold(TrimBackslashes(t.key)));
    bool classes = root == kRootClassesRoot;
    for (size_t i = 0; i < parts.size() && i < 3; ++i)
        classes = classes || parts[i] == u"classes" ||
                  (parts[i].size() > 8 && parts[i].compare(parts[i].size() - 8, 8, u"_classes") == 0);
    if (!classes && parts.size() == 1 && root != kRootUsers) return "is a whole top-level tree of the registry";
    return classes ? "holds every program's file types or classes, or is one of Windows' own"
                   : "holds every program's entries, or Windows' own";
}

// The printf sequences of a text that the uninstaller formats: one "%s" is the path it passes,
// "%%" a percent sign; anything else would read an argument that is never passed.
void CheckFormat(size_t number, const std::u16string& text, std::vector<Problem>& out) {
    std::string where = "message " + N(number);
    bool formatted = number >= kFirstPathMessage && number <= kLastPathMessage;
    bool hasS = text.find(u"%s") != std::u16string::npos;
    if (!formatted) {
        if (hasS) out.push_back({where, "holds \"%s\", but this message is shown as it is: the user sees \"%s\""});
        return;
    }
    if (!hasS) {
        if (text.find(u"%%") != std::u16string::npos)
            out.push_back({where, "holds \"%%\" but no \"%s\": the uninstaller formats only texts with \"%s\", so the "
                                  "user sees both percent signs"});
        return;
    }
    size_t strings = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') continue;
        if (i + 1 < text.size() && text[i + 1] == u'%') {
            ++i;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == u's' && ++strings == 1) {
            ++i;
            continue;
        }
        // Flags, width, precision and length modifiers, then the conversion character.
        const std::u16string modifiers = u"-+ #0123456789.*hlLqjztwI";
        size_t end = i + 1;
        while (end < text.size() && modifiers.find(text[end]) != std::u16string::npos) ++end;
        std::u16string seq = text.substr(i, std::min(end + 1, text.size()) - i);
        out.push_back({where, "holds the format sequence " + Printable(seq) + " at unit " + N(i) +
                                  "; the uninstaller passes one text for one \"%s\" only, so this sequence would "
                                  "read an argument that is not there"});
        return;
    }
}

// The access key a button label marks with "&" ("&&" is a plain ampersand), folded as the
// system matches keys without regard to case; 0 when it marks none.
char16_t AccessKey(const std::u16string& label) {
    for (size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != u'&') continue;
        char16_t c = label[++i];
        if (c == u'&') continue;
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x410 && c <= 0x42F)) c += 0x20;
        else if (c >= 0x400 && c <= 0x40F) c += 0x50;
        return c;
    }
    return 0;
}

// The buttons share one dialog: two with the same access key make the key move between them
// instead of choosing one.
void CheckAccessKeys(const std::vector<std::u16string>& messages, std::vector<Problem>& out) {
    for (size_t i = kFirstButtonMessage + 1; i <= kLastButtonMessage && i < messages.size(); ++i) {
        char16_t key = AccessKey(messages[i]);
        for (size_t j = kFirstButtonMessage; j < i && key; ++j)
            if (AccessKey(messages[j]) == key) {
                out.push_back({"message " + N(i), "marks the access key " + Printable(std::u16string(1, key)) +
                                                      ", as message " + N(j) + " does; both are buttons of the "
                                                      "read-only prompt, where the key would move between them "
                                                      "instead of choosing one"});
                break;
            }
    }
}

void CheckNoZero(const std::u16string& text, const std::string& where, const char* field, std::vector<Problem>& out) {
    size_t z = text.find(u'\0');
    if (z != std::u16string::npos)
        out.push_back({where, std::string(field) + " holds a zero character at unit " + N(z) +
                                  "; the uninstaller's text ends there, so it would use " +
                                  Printable(text.substr(0, z)) + " instead"});
}

// Length of the path the passes compose for a directory (and file name); the installation
// directory counts as its shortest form, "C:\", so an overlong result cannot fit anywhere.
size_t ComposedLength(const std::u16string& directory, const std::u16string& fileName, bool* relative) {
    std::u16string dir = WithMacroShape(directory);
    *relative = !dir.empty() && dir[0] == u'.';
    if (*relative) dir = u"C:\\" + (dir.size() > 1 && dir[1] == u'\\' ? dir.substr(2) : std::u16string());
    if (fileName.empty()) return dir.size();
    return dir.size() + (dir.empty() || dir.back() != u'\\' ? 1 : 0) + fileName.size();
}

void CheckPathLength(const std::u16string& directory, const std::u16string& fileName, const std::string& where,
                     const char* what, std::vector<Problem>& out) {
    bool relative = false;
    size_t n = ComposedLength(directory, fileName, &relative);
    if (n <= kMaxPathUnits) return;
    std::u16string token = LeadingToken(directory);
    bool macro = !relative && WithMacroShape(token) != token;
    out.push_back({where, std::string(what) + " is " + N(n) + " characters long" +
                              (relative ? " even below the shortest installation directory (\"C:\\\")" : "") +
                              (macro ? " with " + Printable(token) + " where it usually lies, " +
                                           Printable(WithMacroShape(token))
                                     : "") +
                              ", more than the " + N(kMaxPathUnits) +
                              " a Windows path holds; the uninstaller passes over the record and removes nothing "
                              "for it"});
}

// The folder a directory text names, relative folders under a placeholder for InstallDir.
std::u16string FolderKey(const std::u16string& directory) {
    std::u16string dir = directory;
    if (!dir.empty() && dir[0] == u'.') dir = u"<install>\\" + (dir.size() > 1 && dir[1] == u'\\' ? dir.substr(2) : u"");
    dir = Fold(dir);
    while (!dir.empty() && dir.back() == u'\\') dir.pop_back();
    return dir;
}

std::u16string ParentKey(const std::u16string& folder) {
    size_t bs = folder.rfind(u'\\');
    return bs == std::u16string::npos ? std::u16string() : folder.substr(0, bs);
}

void PathFinding(const std::u16string& text, PathKind kind, const std::string& where, const char* field,
                 std::vector<Problem>& out) {
    std::string mistake = PathMistake(text, kind);
    if (!mistake.empty()) out.push_back({where, std::string(field) + " " + Printable(text) + " " + mistake, true});
}

// How many folders lie between a path and its drive root (or share): "C:\A\B" has 2.
size_t Depth(const std::u16string& path) {
    std::u16string folder = WithMacroShape(path);
    std::u16string f = TrimBackslashes(Fold(folder));
    if (f.empty() || f[0] == u'.') return 0;  // below the installation folder, wherever that lies
    bool unc = folder.size() > 1 && (folder[0] == u'\\' || folder[0] == u'/') && (folder[1] == u'\\' || folder[1] == u'/');
    size_t parts = Components(f).size();
    size_t root = unc ? 2 : 1;
    return parts > root ? parts - root : 0;
}

void CheckFiles(const std::vector<FileRecord>& files, std::vector<Problem>& out) {
    std::unordered_map<std::u16string, size_t> seen;
    // Folder records by folder, in record order, for the order check below.
    std::unordered_map<std::u16string, std::vector<size_t>> folderRecords;
    for (size_t i = 0; i < files.size(); ++i) {
        const FileRecord& r = files[i];
        std::string where = RecordName(RecordList::File, i);
        CheckNoZero(r.directory, where, "directory", out);
        CheckNoZero(r.fileName, where, "file name", out);
        PathFinding(r.directory, PathKind::Directory, where, "directory", out);
        PathFinding(r.fileName, PathKind::FileName, where, "file name", out);
        if (r.directory.size() + r.fileName.size() > kFileEntryTextLimit)
            out.push_back({where, "directory and file name hold " + N(r.directory.size() + r.fileName.size()) +
                                      " characters together, more than the uninstaller's " + N(kFileEntryTextLimit) +
                                      "; it would refuse the whole data and remove nothing", true});
        else
            CheckPathLength(r.directory, r.fileName, where, r.fileName.empty() ? "the folder's path" : "the file's path",
                            out);
        if (r.flags & 0xF0)
            out.push_back({where, "has flag bits " + Hex(r.flags & 0xF0) +
                                      " that mean nothing; the uninstaller ignores them (writers store 0)"});
        if (r.fileName.empty()) {
            std::string reason = ProtectedFolderReason(r.directory);
            if (!reason.empty())
                out.push_back({where, "is a folder record that " + reason +
                                          "; the uninstaller would remove that folder when it is empty, unless it "
                                          "recognises it as protected on that machine", true});
            folderRecords[FolderKey(r.directory)].push_back(i);
        } else {
            CheckWindowsFile(r, where, out);
        }
        std::u16string key = FolderKey(r.directory) + u'\\' + Fold(r.fileName);
        auto first = seen.emplace(key, i);
        if (!first.second)
            out.push_back({where, "names the same " + std::string(r.fileName.empty() ? "folder" : "file") +
                                      " as " + RecordName(RecordList::File, first.first->second) +
                                      "; the uninstaller tries it twice (and counts a shared file down twice)"});
    }
    // Removal runs from the last record to the first: a folder's record must come before the
    // records of what it holds, or the folder is tried while still full and stays behind.
    for (size_t i = 0; i < files.size(); ++i) {
        std::u16string folder = FolderKey(files[i].directory);
        std::u16string holder = files[i].fileName.empty() ? ParentKey(folder) : folder;
        if (holder.empty()) continue;
        auto it = folderRecords.find(holder);
        if (it == folderRecords.end()) continue;
        auto later = std::upper_bound(it->second.begin(), it->second.end(), i);
        if (later == it->second.end()) continue;
        size_t j = *later;
        out.push_back({RecordName(RecordList::File, i),
                       "comes before " + RecordName(RecordList::File, j) + ", the record of its own folder " +
                           Printable(files[j].directory) +
                           "; removal runs from the last record to the first, so the uninstaller would try "
                           "that folder while it still holds this " +
                           (files[i].fileName.empty() ? "folder" : "file") + ", and leave it behind"});
    }
}

void CheckShortcuts(const std::vector<ShortcutRecord>& shortcuts, std::vector<Problem>& out) {
    std::unordered_map<std::u16string, size_t> seen;
    for (size_t i = 0; i < shortcuts.size(); ++i) {
        const ShortcutRecord& r = shortcuts[i];
        std::string where = RecordName(RecordList::Shortcut, i);
        CheckNoZero(r.firstFolder, where, "first folder", out);
        CheckNoZero(r.secondFolder, where, "second folder", out);
        CheckNoZero(r.fileName, where, "file name", out);
        PathFinding(r.firstFolder, PathKind::Folder, where, "first folder", out);
        PathFinding(r.secondFolder, PathKind::Folder, where, "second folder", out);
        PathFinding(r.fileName, PathKind::FileName, where, "file name", out);
        size_t units = r.firstFolder.size() + r.secondFolder.size() + r.fileName.size();
        if (units > kShortcutEntryTextLimit) {
            out.push_back({where, "texts hold " + N(units) + " characters together, more than the uninstaller's " +
                                      N(kShortcutEntryTextLimit) + "; it would refuse the whole data and remove nothing",
                           true});
            continue;
        }
        if (!r.fileName.empty()) CheckPathLength(r.firstFolder, r.fileName, where, "the shortcut's path", out);
        else CheckPathLength(r.firstFolder, u"", where, "the first folder", out);
        CheckPathLength(r.secondFolder, u"", where, "the second folder", out);
        for (const std::u16string* folder : {&r.firstFolder, &r.secondFolder}) {
            if (folder->empty()) continue;
            const char* which = folder == &r.firstFolder ? "first" : "second";
            std::string reason = ProtectedFolderReason(*folder);
            if (!reason.empty())
                out.push_back({where, std::string(which) + " folder " + reason +
                                          "; the uninstaller would remove it when it is empty, unless it recognises "
                                          "it as protected on that machine", true});
            // The walk up stops only at folders the uninstaller knows as protected; one that
            // reaches a folder directly below a drive root can take another product's folder.
            size_t depth = Depth(*folder);
            if (r.levels && depth && size_t(r.levels) + 2 > depth)
                out.push_back({where, "levels " + N(r.levels) + " walk up from the " + which + " folder " +
                                          Printable(*folder) + " to " +
                                          (size_t(r.levels) >= depth ? std::string("its drive root")
                                                             : "a folder directly below its drive root") +
                                          "; the uninstaller would remove every empty folder on the way, also ones "
                                          "other programs made"});
        }
        if (r.firstFolder.empty() && (!r.fileName.empty() || !r.secondFolder.empty()))
            out.push_back({where, "has an empty first folder; the uninstaller would take the shortcut's name, or the "
                                  "second folder, relative to its current drive and directory", true});
        std::u16string key = Fold(r.firstFolder) + u'|' + Fold(r.secondFolder) + u'|' + Fold(r.fileName);
        auto first = seen.emplace(key, i);
        if (!first.second)
            out.push_back({where, "is the same as " + RecordName(RecordList::Shortcut, first.first->second) +
                                      "; the uninstaller tries it twice"});
    }
}

void CheckRegistry(const std::vector<RegistryRecord>& registry, std::vector<Problem>& out) {
    std::unordered_map<std::u16string, size_t> seen;
    for (size_t i = 0; i < registry.size(); ++i) {
        const RegistryRecord& r = registry[i];
        std::string where = RecordName(RecordList::Registry, i);
        CheckNoZero(r.path, where, "path", out);
        if (r.path.size() > kRegistryEntryTextLimit) {
            out.push_back({where, "path holds " + N(r.path.size()) + " characters, more than the uninstaller's " +
                                      N(kRegistryEntryTextLimit) + "; it would refuse the whole data and remove nothing",
                           true});
            continue;
        }
        if (r.root < 0x80000000u || r.root > 0x80000006u)
            out.push_back({where, "root " + Hex(r.root) +
                                      " is not a predefined registry key; the uninstaller's registry calls fail on "
                                      "it and the record removes nothing"});
        if (r.path.empty()) {
            out.push_back({where, "has an empty path; the uninstaller passes over it"});
            continue;
        }
        std::u16string key = {static_cast<char16_t>(r.root >> 16), static_cast<char16_t>(r.root)};
        key += Fold(r.path);
        auto first = seen.emplace(key, i);
        if (!first.second)
            out.push_back({where, "is the same as " + RecordName(RecordList::Registry, first.first->second) +
                                      "; the uninstaller tries it twice"});
        RegistryTarget t = SplitRegistryPath(r.path);
        std::string reason = SystemRegistryReason(r.root, t);
        std::string rootName = RootName(r.root);
        std::string record = t.isValue ? "value " + Printable(t.value) + " of key " : "key ";
        if (!reason.empty())
            out.push_back({where, record + (rootName.empty() ? Hex(r.root) : rootName) + " " + Printable(t.key) + " " +
                                      reason + "; the uninstaller leaves such a record alone, so it removes nothing",
                           true});
    }
}

// The finish page is handed to the shell: a text longer than the uninstaller's copy of it is not
// opened, and a scheme besides http and https starts whatever program is registered for it.
void CheckFinishPage(const std::u16string& page, std::vector<Problem>& out) {
    if (page.size() > kMaxPathUnits)
        out.push_back({"run settings", "the finish page holds " + N(page.size()) + " characters, more than the " +
                                           N(kMaxPathUnits) + " the uninstaller copies; it would not open the page"});
    // A scheme is a letter, then letters, digits, "+", "-" or ".", then ":"; one letter is a drive.
    size_t colon = 0;
    while (colon < page.size() && ((FoldAscii(page[colon]) >= u'a' && FoldAscii(page[colon]) <= u'z') ||
                                   (colon && std::u16string(u"0123456789+-.").find(page[colon]) != std::u16string::npos)))
        ++colon;
    if (colon < 2 || colon >= page.size() || page[colon] != u':') return;
    std::u16string scheme = Fold(page.substr(0, colon));
    if (scheme != u"http" && scheme != u"https")
        out.push_back({"run settings", "the finish page " + Printable(page) + " has the scheme " +
                                           Printable(scheme + u":") + "; the uninstaller hands it to the shell, which "
                                           "starts whatever program is registered for it; give an http or https "
                                           "address or a file's path"});
}

// A 64-bit product's records name the native folders and the 64-bit registry view; a name of
// the 32-bit ones under the x64 flag is most likely a record of a 32-bit installer's making.
void CheckX64Names(const UninstallData& data, std::vector<Problem>& out) {
    // One finding per record: the first text that names a 32-bit folder or key.
    auto check = [&](const std::string& where, std::initializer_list<const std::u16string*> texts) {
        for (const std::u16string* text : texts)
            for (const char16_t* name : {u"program files (x86)", u"syswow64", u"wow6432node"})
                if (Fold(*text).find(name) != std::u16string::npos) {
                    out.push_back({where, Printable(*text) + " names " + Printable(std::u16string(name)) +
                                              ", a folder or key of 32-bit programs, while the settings mark a 64-bit "
                                              "product (x64); the uninstaller takes the text as written"});
                    return;
                }
    };
    for (size_t i = 0; i < data.files.size(); ++i)
        check(RecordName(RecordList::File, i), {&data.files[i].directory, &data.files[i].fileName});
    for (size_t i = 0; i < data.shortcuts.size(); ++i) {
        const ShortcutRecord& r = data.shortcuts[i];
        check(RecordName(RecordList::Shortcut, i), {&r.firstFolder, &r.secondFolder, &r.fileName});
    }
    for (size_t i = 0; i < data.registry.size(); ++i) check(RecordName(RecordList::Registry, i), {&data.registry[i].path});
}

}  // namespace

std::vector<Problem> CheckData(const UninstallData& data) {
    std::vector<Problem> out;
    if (data.messages.size() < kMessageCount)
        out.push_back({"message table",
                       "holds " + N(data.messages.size()) + " messages, fewer than 16; the uninstaller would show "
                       "messages " + N(data.messages.size()) + " to 15 as empty texts (0 is the caption, 1 the "
                       "confirmation, 11 to 14 the progress texts, 15 the still-running notice)"});
    for (size_t i = 0; i < data.messages.size(); ++i) {
        if (data.messages[i].size() > 0xFFFF) {
            out.push_back({"message " + N(i), "holds " + N(data.messages[i].size()) +
                                                  " characters, more than the 65535 a message can hold; it cannot be written"});
            continue;
        }
        CheckNoZero(data.messages[i], "message " + N(i), "text", out);
        CheckFormat(i, data.messages[i], out);
    }
    CheckAccessKeys(data.messages, out);
    if (data.messages.size() > 0xFFFF)
        out.push_back({"message table", "holds " + N(data.messages.size()) + " messages, more than 65535; it cannot be written"});
    CheckFiles(data.files, out);
    CheckShortcuts(data.shortcuts, out);
    CheckRegistry(data.registry, out);
    if (data.settings.flags & kRun64BitApplication) CheckX64Names(data, out);
    const uint32_t known = kRunWaitForCommand | kRunFullVisualStyles | kRun64BitApplication;
    if (data.settings.flags & ~known)
        out.push_back({"run settings", "flag bits " + Hex(data.settings.flags & ~known) +
                                           " mean nothing; the uninstaller ignores them (writers store 0)"});
    if (data.settings.command && data.settings.command->empty())
        out.push_back({"run settings", "the pre-removal command is present but empty; the uninstaller would try to run "
                                       "its own installation directory"});
    if (data.settings.finishPage && data.settings.finishPage->empty())
        out.push_back({"run settings", "the finish page is present but empty; the uninstaller would ask the shell to "
                                       "open an empty name"});
    if (data.settings.finishPage) CheckFinishPage(*data.settings.finishPage, out);
    return out;
}

std::vector<Problem> CheckChunks(const std::vector<ChunkInfo>& chunks) {
    std::vector<Problem> out;
    size_t tables = 0, settings = 0;
    for (const ChunkInfo& c : chunks) {
        std::string where = "chunk at stream offset " + N(c.offset);
        bool known = c.tag == ChunkTag::MessageTable || c.tag == ChunkTag::FileList ||
                     c.tag == ChunkTag::ShortcutList || c.tag == ChunkTag::RegistryList ||
                     c.tag == ChunkTag::RunSettings || c.tag == ChunkTag::Integrity || c.tag == ChunkTag::End;
        if (!known) out.push_back({where, "has the unknown tag " + Hex(c.tag) + "; the uninstaller skips its " + N(c.size) + " bytes"});
        if (c.flags && c.tag != ChunkTag::RunSettings)
            out.push_back({where, "has flags " + Hex(c.flags) + "; the uninstaller ignores them (writers store 0)"});
        if (c.tag == ChunkTag::End && c.size)
            out.push_back({where, "is the End chunk with a size of " + N(c.size) + "; the uninstaller never reads past its header (writers store 0)"});
        if (c.tag == ChunkTag::MessageTable && c.size && ++tables == 2)
            out.push_back({where, "is a second message table; the uninstaller replaces the first with it"});
        if (c.tag == ChunkTag::RunSettings && c.size && ++settings == 2)
            out.push_back({where, "is a second RunSettings chunk; the uninstaller replaces the first with it"});
    }
    return out;
}

}  // namespace uninstpack
