// The command-line reader. Only the blank (U+0020) counts as white space; option letters fold
// ASCII a-z only, with no locale, so the same line means the same on every system.
#include "run/command_line.h"
#include "run/session.h"

static const WCHAR* SkipBlanks(const WCHAR* p) {
    while (*p == L' ') ++p;
    return p;
}

const WCHAR* ParseOptionArgument(const WCHAR* text, WCHAR* buffer, DWORD capacity, bool* cut) {
    DWORD cch = 0;
    if (cut) *cut = false;
    buffer[0] = 0;
    const WCHAR* p = SkipBlanks(text);
    WCHAR end = L' ';
    if (*p == L'"') {
        end = L'"';
        ++p;
    }
    for (; *p && *p != end; ++p) {
        if (cch + 1 < capacity)
            buffer[cch++] = *p;
        else if (cut)
            *cut = true;
    }
    buffer[cch] = 0;
    if (end == L'"' && *p == L'"') ++p;
    return p;
}

// Returns the position after the program name, or null when the line has no options.
static const WCHAR* SkipProgramName(const WCHAR* line) {
    const WCHAR* p = line;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
    } else {
        while (*p && *p != L' ') ++p;
    }
    return *p ? p + 1 : nullptr;
}

// After /L: an optional "OG=", then, when it begins with a full path (a drive, a colon and a
// backslash, or two backslashes), the argument as /D reads it. Any other argument (none, a
// relative path, another option) opens no log and is read as before this option existed, from
// just after the letter.
static __attribute__((noinline)) const WCHAR* ParseLogArgument(const WCHAR* p) {
    const WCHAR* argument = p;
    if ((p[0] | 0x20) == L'o' && (p[1] | 0x20) == L'g' && p[2] == L'=') argument += 3;
    const WCHAR* path = SkipBlanks(argument);
    if (*path == L'"') ++path;
    bool full = path[0] == L'\\' ? path[1] == L'\\' : path[0] > L'/' && path[1] == L':' && path[2] == L'\\';
    return full ? ParseOptionArgument(argument, Session.LogPath, kPathCapacity, &Session.LogPathCut) : p;
}

void ParseCommandLine(const WCHAR* line, WCHAR* removalPath) {
    removalPath[0] = 0;
    const WCHAR* p = line ? SkipProgramName(line) : nullptr;
    if (!p) return;
    p = SkipBlanks(p);
    while (*p == L'-' || *p == L'/') {
        WCHAR letter = p[1];
        if (letter == 0) return;
        p += 2;
        if (letter >= L'a' && letter <= L'z') letter = WCHAR(letter - L'a' + L'A');
        switch (letter) {
        case L'D': p = ParseOptionArgument(p, removalPath, kPathCapacity, &Session.RemovalPathCut); break;
        case L'L': p = ParseLogArgument(p); break;
        case L'Q': Session.Quiet = 1; break;
        case L'S': Session.Quiet = 1; Session.OptionS = 1; break;
        case L'X': Session.Quiet = 1; Session.OptionX = 1; break;
        default: break;
        }
        while (*p && *p != L' ' && *p != L'-' && *p != L'/') ++p;
        p = SkipBlanks(p);
    }
}
