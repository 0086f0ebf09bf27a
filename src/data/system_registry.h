// The registry keys and values that Windows owns, and the one test of a registry record against
// them that the uninstaller and its authoring tool share, so the tool refuses exactly what the
// program leaves. Only the reading of the record's texts is a template over the character type
// (WCHAR in the program, char16_t in the tool). Nothing but <stddef.h>/<stdint.h>, like
// data_format.h.
//
// A key is compared name by name, each name as a 29-bit hash: the lists below are written as
// texts and turned into hashes by the compiler, so the program carries neither the texts nor a
// pointer (each would cost it a relocation entry). Two different names share a hash once in
// about 500 million: such a product key would be left, never a Windows key removed.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "data/data_format.h"

namespace system_registry_detail {

// How names are read, the same for the lists and for a record: ASCII letters in lower case, a
// dot at a name's start and the digits after "controlset" left out (so ".exe" reads as "exe",
// and "ControlSet001" as "controlset"). Names are separated by backslashes (in the lists also by
// "|", between a key and its value's name); a record's empty names are dropped, and so are its
// "Wow6432Node" names, while "CurrentControlSet" reads as "controlset" (no list names either).
constexpr uint32_t kHashMask = (1u << 29) - 1;
constexpr uint32_t kHashFactor = 0x01000193;

constexpr uint32_t HashStep(uint32_t hash, uint32_t c) { return (hash * kHashFactor + c) & kHashMask; }

constexpr uint32_t NameHash(const char* name) {
    uint32_t hash = 0;
    for (; *name; ++name) hash = HashStep(hash, static_cast<unsigned char>(*name));
    return hash;
}

constexpr uint32_t kControlSet = NameHash("controlset");
constexpr uint32_t kCurrentControlSet = NameHash("currentcontrolset");
constexpr uint32_t kWow6432Node = NameHash("wow6432node");
constexpr uint32_t kSoftware = NameHash("software");
constexpr uint32_t kClasses = NameHash("classes");
constexpr uint32_t kSystem = NameHash("system");
constexpr uint32_t kServices = NameHash("services");
constexpr uint32_t kEventLog = NameHash("eventlog");
// What "exefile" is to "exe": the hash goes on with the four letters of "file".
constexpr uint32_t kProgIdFactor = kHashFactor * kHashFactor * kHashFactor * kHashFactor;
constexpr uint32_t kProgIdTail = NameHash("file");

// A list: per entry its names' hashes, the first one with the number of names it shares with
// the previous entry plus 1 in its top three bits (1 to 6), the others with 0 there; the list
// ends with kListEnd. A hash of 0 (an empty name) in an entry stands for every name.
constexpr uint32_t kListEnd = ~0u;
constexpr size_t kEntryNames = 12;

// Turns a list text (entries ended by \0) into the items above: writes them to out unless it is
// null, and returns their number; 0 when an entry cannot be written so.
constexpr size_t EncodeList(const char* text, size_t size, uint32_t* out) {
    uint32_t previous[kEntryNames] = {};
    size_t previousCount = 0, count = 0;
    for (size_t at = 0; at + 1 < size; ++at) {
        uint32_t names[kEntryNames] = {};
        size_t m = 0;
        for (uint32_t hash = 0, length = 0, bar = 0;; ++at) {
            char c = text[at];
            if (c == '\\' || c == '|' || !c) {
                // An empty name only after "|", as the list's last: the wildcard.
                if (m == kEntryNames || (length && !hash) || (!length && (c || !bar))) return 0;
                names[m++] = hash;
                hash = length = 0;
                bar = c == '|';
                if (!c) break;
            } else if (c != '.' || length) {
                hash = HashStep(hash, static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
                ++length;
            }
        }
        size_t keep = 0;
        while (keep + 1 < m && keep < previousCount && keep < 5 && names[keep] == previous[keep]) ++keep;
        for (size_t i = keep; i < m; ++i, ++count)
            if (out) out[count] = names[i] | (i == keep ? static_cast<uint32_t>(keep + 1) << 29 : 0);
        for (size_t i = 0; i < m; ++i) previous[i] = names[i];
        previousCount = m;
    }
    if (out) out[count] = kListEnd;
    return count + 1;
}

template <size_t N>
struct NameList {
    uint32_t item[N];
};

template <size_t N, size_t S>
constexpr NameList<N> BuildList(const char (&text)[S]) {
    static_assert(N > 1, "every name of a list is written as EncodeList reads it");
    NameList<N> list = {};
    EncodeList(text, S, list.item);
    return list;
}

}  // namespace system_registry_detail

#define SYSTEM_REGISTRY_LIST(name, text) \
    constexpr auto name = system_registry_detail::BuildList<system_registry_detail::EncodeList(text, sizeof(text), nullptr)>(text)
#define SYSTEM_REGISTRY_CURRENT_VERSION "software\\microsoft\\windows\\currentversion\\"
#define SYSTEM_REGISTRY_NT_CURRENT_VERSION "software\\microsoft\\windows nt\\currentversion\\"
#define SYSTEM_REGISTRY_ENVIRONMENT "system\\controlset\\control\\session manager\\environment|"

// Keys are compared after reading them as above, every HKU "<user>" as HKCU, and HKU
// "<user>_Classes" and HKLM and HKCU "Software\Classes" as the classes tree (HKCR).

// Keys below HKLM and HKCU (and any user's hive) that Windows owns. A key record is left when its
// key is one of these or contains one (an ancestor). Below SYSTEM every key is Windows' except a
// service's own key and an event-log source, and every top-level key is a whole tree of the
// registry.
SYSTEM_REGISTRY_LIST(kSystemKeys,
    "software\\policies\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "run\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "runonce\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "runonceex\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "uninstall\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "app paths\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "shareddlls\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "policies\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "explorer\\shell folders\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "explorer\\user shell folders\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "shell extensions\\approved\0"
    SYSTEM_REGISTRY_NT_CURRENT_VERSION "fonts\0"
    SYSTEM_REGISTRY_NT_CURRENT_VERSION "winlogon\0"
    SYSTEM_REGISTRY_NT_CURRENT_VERSION "windows\0"
    SYSTEM_REGISTRY_NT_CURRENT_VERSION "image file execution options\0"
    SYSTEM_REGISTRY_NT_CURRENT_VERSION "profilelist\0");

// Keys of the classes tree that Windows owns: the shell's own classes, the extensions of Windows'
// executable and document types with their ProgIDs (kSystemExtensions: ".exe" also stands for
// "exefile"), and a few ProgIDs of other names. Each also owns the keys of kSystemClassSubkeys
// below it, so a product's verb ("directory\shell\acmeopen") or handler
// ("*\shellex\contextmenuhandlers\acme") still goes, while the keys that hold them stay.
SYSTEM_REGISTRY_LIST(kSystemClasses,
    "*\0allfilesystemobjects\0appid\0clsid\0directory\0drive\0folder\0interface\0typelib\0"
    "systemfileassociations\0mime\\database\0protocols\\handler\0"
    "msi.package\0microsoft.powershellscript.1\0internetshortcut\0compressedfolder\0");
SYSTEM_REGISTRY_LIST(kSystemExtensions,
    ".exe\0.dll\0.com\0.bat\0.cmd\0.lnk\0.msi\0.reg\0.scr\0.sys\0.vbs\0.vbe\0.js\0.jse\0.wsf\0.ps1\0"
    ".txt\0.ini\0.inf\0.cpl\0.ocx\0.pif\0.htm\0.html\0.xml\0.url\0.zip\0");
SYSTEM_REGISTRY_LIST(kSystemClassSubkeys,
    "shell\\open\\command\0shell\\runas\\command\0shellex\\contextmenuhandlers\0"
    "shellex\\propertysheethandlers\0shellex\\iconhandler\0defaulticon\0shellnew\0"
    "background\\shellex\\contextmenuhandlers\0");

// Values Windows needs, each as its key, "|" and its name; a key and "|" alone stands for every
// value of the key. Besides these, the default value of every key the classes lists name is
// Windows'.
SYSTEM_REGISTRY_LIST(kSystemValues,
    SYSTEM_REGISTRY_ENVIRONMENT "path\0" SYSTEM_REGISTRY_ENVIRONMENT "pathext\0"
    SYSTEM_REGISTRY_ENVIRONMENT "comspec\0" SYSTEM_REGISTRY_ENVIRONMENT "windir\0"
    SYSTEM_REGISTRY_ENVIRONMENT "temp\0" SYSTEM_REGISTRY_ENVIRONMENT "tmp\0"
    "system\\controlset\\control\\session manager|pendingfilerenameoperations\0"
    "environment|path\0environment|pathext\0environment|comspec\0environment|windir\0"
    "environment|temp\0environment|tmp\0"
    SYSTEM_REGISTRY_NT_CURRENT_VERSION "winlogon|shell\0"
    SYSTEM_REGISTRY_NT_CURRENT_VERSION "winlogon|userinit\0"
    "software\\microsoft\\windows\\currentversion|programfilesdir\0"
    "software\\microsoft\\windows\\currentversion|commonfilesdir\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "explorer\\shell folders|\0"
    SYSTEM_REGISTRY_CURRENT_VERSION "explorer\\user shell folders|\0");

#undef SYSTEM_REGISTRY_LIST
#undef SYSTEM_REGISTRY_CURRENT_VERSION
#undef SYSTEM_REGISTRY_NT_CURRENT_VERSION
#undef SYSTEM_REGISTRY_ENVIRONMENT

namespace system_registry_detail {

// Names of a record: a key of the longest record, and a value's name.
constexpr size_t kNameCapacity = kRegistryEntryTextLimit / 2 + 2;
// The number of names of a key too long for any record.
constexpr size_t kTooLong = ~static_cast<size_t>(0);

// True when text (n names) is the entry (m names), or, with above, an ancestor of it.
inline bool Hit(const uint32_t* text, size_t n, const uint32_t* entry, size_t m, bool above) {
    if (n > m || (n < m && !above)) return false;
    for (size_t i = 0; i < n; ++i)
        if (text[i] != entry[i] && entry[i]) return false;
    return true;
}

// Reads the next entry of a list into entry, which holds the previous one; returns its number
// of names and moves item on, or returns 0 at the end of the list.
inline size_t NextEntry(const uint32_t*& item, uint32_t* entry) {
    if (*item == kListEnd) return 0;
    size_t m = (*item >> 29) - 1;
    do entry[m++] = *item++ & kHashMask;
    while (!(*item >> 29));
    return m;
}

inline bool AnyEntry(const uint32_t* item, const uint32_t* text, size_t n, bool above) {
    uint32_t entry[kEntryNames];
    while (size_t m = NextEntry(item, entry))
        if (Hit(text, n, entry, m, above)) return true;
    return false;
}

// A key of the classes tree (the tree's own name removed): a listed class (an extension's ProgID
// too), one of its kSystemClassSubkeys, or, with above, an ancestor of either.
inline bool ClassListed(const uint32_t* text, size_t n, bool above) {
    uint32_t entry[kEntryNames];
    for (int extensions = 0; extensions < 2; ++extensions) {
        const uint32_t* item = extensions ? kSystemExtensions.item : kSystemClasses.item;
        while (size_t m = NextEntry(item, entry)) {
            for (int progId = 0; progId <= extensions; ++progId) {
                if (progId) entry[m - 1] = (entry[m - 1] * kProgIdFactor + kProgIdTail) & kHashMask;
                if (Hit(text, n, entry, m, above)) return true;
                if (n > m && Hit(text, m, entry, m, false) && AnyEntry(kSystemClassSubkeys.item, text + m, n - m, above))
                    return true;
            }
        }
    }
    return false;
}

// IsSystemOwnedRegistry once the record's names are read: n names (kTooLong for a key too long
// for any record), the last one the value's for a value record (0 for the default value);
// userClasses: the first name ends in "_Classes".
inline bool SystemOwned(uint32_t root, const uint32_t* names, size_t n, bool userClasses, bool value,
                        bool defaultValue) {
    if (root - 0x80000000u > 6u) return false;
    if (root > 0x80000003u || n == kTooLong) return true;
    bool classes = root == 0x80000000u;
    size_t keyNames = n - value;
    if (root == 0x80000003u) {
        // Any user's hive reads as HKCU, and "<user>_Classes" as that user's classes tree.
        if (keyNames <= 1) return true;  // HKU itself, or a user's whole hive
        classes = userClasses;
        ++names;
        --n;
        --keyNames;
    }
    if (!classes && keyNames >= 2 && names[0] == kSoftware && names[1] == kClasses) {
        classes = true;
        names += 2;
        n -= 2;
        keyNames -= 2;
    }
    if (keyNames == 0) return true;  // a hive root or the classes tree itself
    if (classes) return (!value || defaultValue) && ClassListed(names, keyNames, !value);
    if (value) return AnyEntry(kSystemValues.item, names, n, false);
    if (n == 1) return true;  // a whole top-level tree
    // Below SYSTEM a product owns only its service's key ("system\controlset\services\NAME") and
    // an event-log source ("...\services\eventlog\LOG\SOURCE"), with what lies below them.
    if (names[0] == kSystem)
        return !(n >= 4 && names[1] == kControlSet && names[2] == kServices && (names[3] != kEventLog || n >= 6));
    return AnyEntry(kSystemKeys.item, names, n, true);
}

// Appends the hashes of the names of text (cch characters, names separated by separator) to
// names; returns how many. userClasses: the first of them ends in "_classes".
template <typename Char>
inline size_t ReadNames(const Char* text, size_t cch, uint32_t separator, uint32_t* names, bool* userClasses) {
    size_t n = 0;
    uint32_t hash = 0, length = 0, tail = 1;
    for (size_t i = 0; i <= cch; ++i) {
        uint32_t c = i < cch ? static_cast<uint32_t>(text[i]) : separator;
        if (c - 'A' < 26u) c += 'a' - 'A';
        if (c != separator) {
            if ((c == '.' && !length) || (c - '0' < 10u && hash == kControlSet)) continue;
            hash = HashStep(hash, c);
            // The hash of what follows the name's last "_", or of no such text.
            tail = c == '_' ? 0 : HashStep(tail, c);
            ++length;
            continue;
        }
        if (!length) continue;
        if (hash == kCurrentControlSet) hash = kControlSet;
        if (hash != kWow6432Node) {
            if (n == 0) *userClasses = tail == kClasses;
            names[n++] = hash;
        }
        hash = length = 0;
        tail = 1;
    }
    return n;
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
    uint32_t names[kNameCapacity];
    bool userClasses = false, valueClasses = false;
    size_t n = kTooLong;
    if (cchKey <= kRegistryEntryTextLimit) {
        n = ReadNames(key, cchKey, '\\', names, &userClasses);
        if (value) {
            // One name, whatever it holds; none for the default value.
            names[n] = 0;
            ReadNames(value, cchValue, 0x10000, names + n, &valueClasses);
            ++n;
        }
    }
    return SystemOwned(root, names, n, userClasses, value != nullptr, cchValue == 0);
}
