// The registry keys and values that Windows owns, and the one test of a registry record against
// them that the uninstaller and its authoring tool share, so the tool refuses exactly what the
// program leaves. A template over the character type (WCHAR in the program, char16_t in the tool)
// and nothing but <stddef.h>/<stdint.h>, like data_format.h. The lists are packed ASCII texts
// without pointers: every address stored in the program would cost it a relocation entry.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "data/data_format.h"

// Beginnings, each with its backslash, that the entries below spell as one byte (\1 to \3), to keep the lists small.
// Keys are compared after normalising: lower-case ASCII, one backslash between names, none at
// either end; "CurrentControlSet" and "ControlSetNNN" read as "ControlSet"; the Wow6432Node forms
// as the plain ones; HKCR, HKLM and HKCU "Software\Classes" and HKU "<user>_Classes" as one
// classes tree; every HKU "<user>" as HKCU.
constexpr char kSystemKeyPrefixes[] =
    "software\\microsoft\\windows\\currentversion\\\0"
    "software\\microsoft\\windows nt\\currentversion\\\0"
    "system\\controlset\\control\\session manager\\\0";

// Keys below HKLM and HKCU (and any user's hive) that Windows owns. A key record is left when its
// key is one of these or contains one (an ancestor). Below SYSTEM every key is Windows' except a
// service's own key and an event-log source (SystemKeyIsProducts), and every top-level key is a
// whole tree of the registry.
constexpr char kSystemKeys[] =
    "software\\policies\0"
    "\1run\0\1runonce\0\1runonceex\0\1uninstall\0\1app paths\0\1shareddlls\0\1policies\0"
    "\1explorer\\shell folders\0\1explorer\\user shell folders\0\1shell extensions\\approved\0"
    "\2fonts\0\2winlogon\0\2windows\0\2image file execution options\0\2profilelist\0";

// Keys of the classes tree that Windows owns: the shell's own classes, the extensions of Windows'
// executable and document types with their ProgIDs (".exe" also lists "exefile"), and a few
// ProgIDs of other names. Each also owns the keys of kSystemClassSubkeys below it, so a product's
// verb ("directory\shell\acmeopen") or handler ("*\shellex\contextmenuhandlers\acme") still goes,
// while the keys that hold them stay.
constexpr char kSystemClasses[] =
    "*\0allfilesystemobjects\0appid\0clsid\0directory\0drive\0folder\0interface\0typelib\0"
    "systemfileassociations\0mime\\database\0protocols\\handler\0"
    ".exe\0.dll\0.com\0.bat\0.cmd\0.lnk\0.msi\0.reg\0.scr\0.sys\0.vbs\0.vbe\0.js\0.jse\0.wsf\0.ps1\0"
    ".txt\0.ini\0.inf\0.cpl\0.ocx\0.pif\0.htm\0.html\0.xml\0.url\0.zip\0"
    "msi.package\0microsoft.powershellscript.1\0internetshortcut\0compressedfolder\0";

constexpr char kSystemClassSubkeys[] =
    "shell\\open\\command\0shell\\runas\\command\0shellex\\contextmenuhandlers\0"
    "shellex\\propertysheethandlers\0shellex\\iconhandler\0defaulticon\0shellnew\0"
    "background\\shellex\\contextmenuhandlers\0";

// Values Windows needs: groups of a key and its value names, each group ended by an empty name,
// the list by an empty key. "*" stands for every value of the key. Besides these, the default
// value of every key the classes lists name is Windows'.
constexpr char kSystemValues[] =
    "\3environment\0path\0pathext\0comspec\0windir\0temp\0tmp\0\0"
    "\3\0pendingfilerenameoperations\0\0"
    "environment\0path\0temp\0tmp\0\0"
    "\2winlogon\0shell\0userinit\0\0"
    "\1\0programfilesdir\0commonfilesdir\0\0"
    "\1explorer\\shell folders\0*\0\0"
    "\1explorer\\user shell folders\0*\0\0";

namespace system_registry_detail {

// The spellings that name the same key, rewritten in this order: a name at the start of the key
// (kRewriteNames, in order), and which characters of it go (kRewrites: first, count, and whether
// the name leads into the classes tree or is looked for only there).
constexpr char kRewriteNames[] =
    "software\\wow6432node\0software\\classes\0system\\currentcontrolset\0system\\controlset###\0wow6432node\0";
constexpr uint8_t kIntoClasses = 1, kInClasses = 2;
constexpr uint8_t kRewrites[][3] = {{8, 12, 0}, {0, 17, kIntoClasses}, {7, 7, 0}, {17, 3, 0}, {0, 12, kInClasses}};

// WCHARs of a normalised key: a record's whole path fits, terminator included.
constexpr size_t kKeyCapacity = kRegistryEntryTextLimit + 1;
// chars of an expanded list entry.
constexpr size_t kEntryCapacity = 128;

inline const char* NextEntry(const char* entry) {
    while (*entry) ++entry;
    return entry + 1;
}

// The entry with its prefix byte spelled out into out; returns its length.
inline size_t ExpandEntry(const char* entry, char* out) {
    size_t n = 0;
    for (; *entry; ++entry) {
        if (static_cast<unsigned char>(*entry) < 8) {
            const char* prefix = kSystemKeyPrefixes;
            for (int i = 1; i < *entry; ++i) prefix = NextEntry(prefix);
            while (*prefix && n + 1 < kEntryCapacity) out[n++] = *prefix++;
        } else if (n + 1 < kEntryCapacity) {
            out[n++] = *entry;
        }
    }
    if (n > 0 && out[n - 1] == '\\') --n;  // an entry that is a prefix's key itself
    out[n] = 0;
    return n;
}

template <typename Char>
inline Char FoldAscii(Char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c + ('a' - 'A')) : c;
}

template <typename Char>
inline bool SameText(const Char* text, const char* ascii, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (static_cast<uint32_t>(text[i]) != static_cast<unsigned char>(ascii[i])) return false;
    return true;
}

// True when the n characters of text are the whole of entry (m characters), or, with ancestors,
// also when they are one of its ancestors: entry begins with them and a backslash.
template <typename Char>
inline bool Covers(const char* entry, size_t m, const Char* text, size_t n, bool ancestors) {
    if (n > m || !SameText(text, entry, n)) return false;
    return n == m || (ancestors && entry[n] == '\\');
}

// True when text (n characters) begins with pattern as a whole name (followed by its end or a
// backslash); "#" in the pattern stands for any digit.
template <typename Char>
inline bool BeginsWithName(const Char* text, size_t n, const char* pattern) {
    size_t i = 0;
    for (; pattern[i]; ++i) {
        if (i >= n) return false;
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '#' ? !digit : static_cast<uint32_t>(text[i]) != static_cast<unsigned char>(pattern[i]))
            return false;
    }
    return i == n || text[i] == '\\';
}

// Removes cch characters at position at; returns the new length.
template <typename Char>
inline size_t Erase(Char* text, size_t n, size_t at, size_t cch) {
    for (size_t i = at; i + cch < n; ++i) text[i] = text[i + cch];
    return n - cch;
}

template <typename Char>
inline bool AnyEntryCovers(const char* list, const Char* text, size_t n, bool ancestors) {
    char entry[kEntryCapacity];
    for (; *list; list = NextEntry(list))
        if (Covers(entry, ExpandEntry(list, entry), text, n, ancestors)) return true;
    return false;
}

// A key of the classes tree (the tree's own name removed): one of kSystemClasses (an extension's
// ProgID too), one of their kSystemClassSubkeys, or, with ancestors, an ancestor of either.
template <typename Char>
inline bool ClassKeyListed(const Char* text, size_t n, bool ancestors) {
    char entry[kEntryCapacity];
    for (const char* list = kSystemClasses; *list; list = NextEntry(list)) {
        size_t m = ExpandEntry(list, entry);
        for (bool progId = false;; progId = true) {
            if (progId) {
                // ".exe" gives "exefile".
                if (entry[0] != '.') break;
                for (size_t i = 0; i + 1 < m; ++i) entry[i] = entry[i + 1];
                m += 3;
                for (size_t i = 0; i < 4; ++i) entry[m - 4 + i] = "file"[i];
            }
            if (Covers(entry, m, text, n, ancestors)) return true;
            if (n > m + 1 && text[m] == '\\' && SameText(text, entry, m) &&
                AnyEntryCovers(kSystemClassSubkeys, text + m + 1, n - m - 1, ancestors))
                return true;
            if (progId) break;
        }
    }
    return false;
}

// Below SYSTEM a product owns only its service's key ("system\controlset\services\NAME") and an
// event-log source ("...\services\eventlog\LOG\SOURCE"), with what lies below them.
template <typename Char>
inline bool SystemKeyIsProducts(const Char* text, size_t n) {
    static const char kServices[] = "system\\controlset\\services\\";
    const size_t cch = sizeof(kServices) - 1;
    if (n <= cch || !SameText(text, kServices, cch)) return false;
    size_t names = 1;
    for (size_t i = cch; i < n; ++i) names += text[i] == '\\';
    return names >= (BeginsWithName(text + cch, n - cch, "eventlog") ? 3u : 1u);
}

template <typename Char>
inline bool EqualFolded(const Char* text, size_t n, const char* ascii) {
    size_t i = 0;
    for (; i < n && ascii[i]; ++i)
        if (static_cast<uint32_t>(FoldAscii(text[i])) != static_cast<unsigned char>(ascii[i])) return false;
    return i == n && !ascii[i];
}

template <typename Char>
inline bool ValueListed(const Char* key, size_t n, const Char* name, size_t cchName) {
    char entry[kEntryCapacity];
    const char* list = kSystemValues;
    while (*list) {
        bool keyMatches = Covers(entry, ExpandEntry(list, entry), key, n, false);
        for (list = NextEntry(list); *list; list = NextEntry(list))
            if (keyMatches && ((list[0] == '*' && !list[1]) || EqualFolded(name, cchName, list))) return true;
        ++list;
    }
    return false;
}

}  // namespace system_registry_detail

// True when the uninstaller must leave a registry record: a key record (value null) whose key is,
// or contains, a key Windows owns, or a value record naming a value Windows needs. root is the
// predefined key's handle value (0x80000000 HKCR to 0x80000006); key is cchKey characters without
// a terminator; value is the value's name (cchValue characters, 0 for the default value).
// Predefined roots other than HKCR, HKCU, HKLM and HKU hold nothing of a product's and are left
// whole; a root that is no predefined key is not Windows' (the registry calls fail on it). A key
// too long for any record is left too.
template <typename Char>
inline bool IsSystemOwnedRegistry(uint32_t root, const Char* key, size_t cchKey, const Char* value,
                                  size_t cchValue) {
    using namespace system_registry_detail;
    if (root < 0x80000000u || root > 0x80000006u) return false;
    if (root > 0x80000003u) return true;
    // Lower case, one backslash between names, none at either end.
    Char text[kKeyCapacity];
    size_t n = 0;
    for (size_t i = 0; i < cchKey; ++i) {
        Char c = FoldAscii(key[i]);
        if (c == '\\' && (n == 0 || text[n - 1] == '\\')) continue;
        if (n + 1 >= kKeyCapacity) return true;
        text[n++] = c;
    }
    if (n > 0 && text[n - 1] == '\\') --n;
    bool classes = root == 0x80000000u;
    if (root == 0x80000003u) {
        // Any user's hive reads as HKCU, and "<user>_Classes" as that user's classes tree.
        size_t first = 0;
        while (first < n && text[first] != '\\') ++first;
        classes = first >= 8 && SameText(text + first - 8, "_classes", 8);
        if (first == n) return true;  // HKU itself, or a user's whole hive
        n = Erase(text, n, 0, first + 1);
    }
    const char* name = kRewriteNames;
    for (const uint8_t* rewrite : kRewrites) {
        if (classes == ((rewrite[2] & kInClasses) != 0) && BeginsWithName(text, n, name)) {
            size_t cch = rewrite[1] < n - rewrite[0] ? rewrite[1] : n - rewrite[0];
            n = Erase(text, n, rewrite[0], cch);
            classes = classes || (rewrite[2] & kIntoClasses);
        }
        name = NextEntry(name);
    }
    if (n == 0) return true;  // a hive root or the classes tree itself
    if (value) {
        if (classes) return cchValue == 0 && ClassKeyListed(text, n, false);
        return ValueListed(text, n, value, cchValue);
    }
    if (classes) return ClassKeyListed(text, n, true);
    size_t names = 1;
    for (size_t i = 0; i < n; ++i) names += text[i] == '\\';
    if (names == 1) return true;  // a whole top-level tree
    if (BeginsWithName(text, n, "system")) return !SystemKeyIsProducts(text, n);
    return AnyEntryCovers(kSystemKeys, text, n, true);
}
