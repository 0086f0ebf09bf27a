// COM server unregistration with the test servers of tests/helpers (one that records its calls,
// one that faults, one without the export), through regsvr32 and in process; and font
// deregistration: the full-name reader on fonts built by tests/fonts/make_font_samples.py, on
// damaged name tables made here, and on the TrueType fonts of the host, and the Fonts values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fonts/font_samples.h"
#include "removal/com_servers.h"
#include "removal/fonts.h"
#include "support/member_guard.h"
#include "support/program_test.h"
#include "support/uninst_runner.h"

using uninstpack::Bytes;

namespace {

// The lines a recording server wrote beside itself, each "pid|current directory|command line".
std::vector<std::vector<std::wstring>> ServerLog(const std::wstring& server) {
    std::vector<std::vector<std::wstring>> lines;
    if (!Exists(server + L".log")) return lines;
    for (const std::wstring& line : ReadTextLines(server + L".log")) {
        size_t a = line.find(L'|'), b = line.find(L'|', a + 1);
        lines.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1)});
    }
    return lines;
}

// The system's regsvr32, as the program must name it.
std::wstring SystemRegsvr32() { return SystemFolder() + L"\\regsvr32.exe"; }

class ComServers : public ProgramTest {
protected:
    void SetUp() override {
        elsewhere_ = dir_.MakeFolder(L"elsewhere");
        ASSERT_TRUE(SetCurrentDirectoryW(elsewhere_.c_str()));
    }
    // A copy of a built helper DLL in a folder of its own (with a blank in its name).
    std::wstring Server(const wchar_t* helper, const wchar_t* name) {
        std::wstring folder = dir_.MakeFolder(std::wstring(L"server ") + name);
        std::wstring path = folder + L"\\" + name + L".dll";
        EXPECT_TRUE(CopyFileW(BinPath(helper).c_str(), path.c_str(), FALSE)) << Utf8(path);
        return path;
    }

    TempFolder dir_;
    std::wstring elsewhere_;
    ScopedCurrentDirectory savedDir_;  // put back before dir_ goes
};

TEST_F(ComServers, Regsvr32UnregistersWithSwitchesAndTheQuotedPathAndIsWaitedFor) {
    Platform.IsNT6OrLater = true;
    std::wstring server = Server(L"com_record_dll.dll", L"rec");
    UnregisterComServer(server.c_str());
    // The log is complete when the call returns: regsvr32 has ended by then.
    auto log = ServerLog(server);
    ASSERT_EQ(1u, log.size());
    EXPECT_NE(std::to_wstring(GetCurrentProcessId()), log[0][0]) << "not in process";
    EXPECT_EQ(L"\"" + SystemRegsvr32() + L"\" /u /s \"" + server + L"\"", log[0][2]) << "by its full path";
    EXPECT_EQ(elsewhere_, CurrentDirectory());
}

BOOL WINAPI CannotStart(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                        LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

TEST_F(ComServers, InProcessCallRunsInTheServersFolderAndRestoresTheCurrentDirectory) {
    std::wstring server = Server(L"com_record_dll.dll", L"rec");
    std::wstring folder = server.substr(0, server.rfind(L'\\'));
    UINT errorMode = GetErrorMode();
    struct Case {
        const char* name;
        bool nt6;
        bool regsvr32Starts;
    };
    const Case cases[] = {
        {"before NT 6", false, true},
        {"regsvr32 cannot be started", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Platform.IsNT6OrLater = c.nt6;
        {
            API_GUARD(CreateProcess, c.regsvr32Starts ? Platform.ApiTable.CreateProcess : CannotStart);
            UnregisterComServer(server.c_str());
        }
        auto log = ServerLog(server);
        ASSERT_EQ(1u, log.size());
        EXPECT_EQ(std::to_wstring(GetCurrentProcessId()), log[0][0]);
        EXPECT_EQ(folder, log[0][1]);
        EXPECT_EQ(elsewhere_, CurrentDirectory());
        EXPECT_EQ(nullptr, GetModuleHandleW(server.c_str())) << "freed again";
        EXPECT_EQ(errorMode, GetErrorMode());
        DeleteFileW((server + L".log").c_str());
    }
}

TEST_F(ComServers, ServerWithoutTheExportIsLoadedAndFreed) {
    Platform.IsNT6OrLater = false;
    std::wstring server = Server(L"com_noexport_dll.dll", L"plain");
    UnregisterComServer(server.c_str());
    EXPECT_TRUE(Exists(server + L".loaded"));
    EXPECT_TRUE(Exists(server + L".freed"));
    EXPECT_EQ(elsewhere_, CurrentDirectory());
}

TEST_F(ComServers, FaultingServerIsCaughtAndTheRunGoesOn) {
    Platform.IsNT6OrLater = false;
    std::wstring faulting = Server(L"com_fault_dll.dll", L"fault");
    std::wstring recording = Server(L"com_record_dll.dll", L"rec");
    UINT errorMode = GetErrorMode();
    for (int round = 0; round < 2; ++round) {  // the guard holds more than once
        SCOPED_TRACE(round);
        DeleteFileW((faulting + L".log").c_str());
        UnregisterComServer(faulting.c_str());
        EXPECT_TRUE(Exists(faulting + L".log")) << "the server ran up to its fault";
        EXPECT_EQ(nullptr, GetModuleHandleW(faulting.c_str()));
        EXPECT_EQ(elsewhere_, CurrentDirectory());
        EXPECT_EQ(errorMode, GetErrorMode());
    }
    UnregisterComServer(recording.c_str());
    EXPECT_EQ(1u, ServerLog(recording).size()) << "a later server still runs normally";

    // The guard itself: false after a fault, true after a normal return.
    HMODULE module = LoadLibraryW(faulting.c_str());
    ASSERT_NE(nullptr, module);
    EXPECT_FALSE(CallUnregisterEntry(GetProcAddress(module, "DllUnregisterServer")));
    FreeLibrary(module);
    module = LoadLibraryW(recording.c_str());
    ASSERT_NE(nullptr, module);
    EXPECT_TRUE(CallUnregisterEntry(GetProcAddress(module, "DllUnregisterServer")));
    FreeLibrary(module);
}

TEST(ComCommandLine, ToolAndPathAreQuotedAndMustFit) {
    const std::wstring tool = L"C:\\windows\\system32\\regsvr32.exe";  // 32 characters
    // A quote, the tool, the 9 characters of "\" /u /s \"", the path, a quote: with the
    // terminator a path of 476 fits 520 exactly.
    for (size_t length : {475u, 476u, 477u}) {
        SCOPED_TRACE(length);
        std::wstring path = L"C:\\" + std::wstring(length - 3, L'p');
        WCHAR line[520];
        wcscpy(line, L"old");
        bool fits = ComposeUnregisterCommand(tool.c_str(), path.c_str(), line, ARRAYSIZE(line));
        EXPECT_EQ(length <= 476, fits);
        EXPECT_EQ(fits ? L"\"" + tool + L"\" /u /s \"" + path + L"\"" : L"", std::wstring(line));
    }
}

// ---------------------------------------------------------------------------------------------
// Fonts

void PutU16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
void PutU32(Bytes& b, size_t at, uint32_t v) {
    PutU16(b, at, static_cast<uint16_t>(v >> 16));
    PutU16(b, at + 2, static_cast<uint16_t>(v));
}

struct NameRecord {
    uint16_t platform, encoding, language, nameId;
    std::string text;
};

// An sfnt file with `before` other table records ahead of the "name" record, and a name table
// holding `records`. Only what the reader looks at is filled in.
struct SfntImage {
    Bytes bytes;
    size_t nameTableRecord;  // offset of the "name" table record
    size_t nameTable;        // offset of the name table
};
SfntImage MakeSfnt(int before, const std::vector<NameRecord>& records) {
    const int tables = before + 1;
    SfntImage image;
    image.nameTableRecord = 12 + 16 * before;
    image.nameTable = 12 + 16 * tables;
    const size_t storage = 6 + 12 * records.size();
    Bytes& b = image.bytes;
    b.assign(image.nameTable + storage, 0);
    PutU32(b, 0, 0x00010000);
    PutU16(b, 4, static_cast<uint16_t>(tables));
    for (int i = 0; i < tables; ++i) {
        size_t at = 12 + 16 * i;
        memcpy(&b[at], i == before ? "name" : "zzzz", 4);
        PutU32(b, at + 8, i == before ? static_cast<uint32_t>(image.nameTable) : 0);
    }
    PutU16(b, image.nameTable + 2, static_cast<uint16_t>(records.size()));
    PutU16(b, image.nameTable + 4, static_cast<uint16_t>(storage));
    size_t textOffset = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const NameRecord& r = records[i];
        size_t at = image.nameTable + 6 + 12 * i;
        PutU16(b, at, r.platform);
        PutU16(b, at + 2, r.encoding);
        PutU16(b, at + 4, r.language);
        PutU16(b, at + 6, r.nameId);
        PutU16(b, at + 8, static_cast<uint16_t>(r.text.size()));
        PutU16(b, at + 10, static_cast<uint16_t>(textOffset));
        b.insert(b.end(), r.text.begin(), r.text.end());
        textOffset += r.text.size();
    }
    return image;
}

NameRecord Mac(const std::string& text) { return {1, 0, 0, 4, text}; }

std::wstring FullName(const std::wstring& path) {
    WCHAR name[kFontNameCapacity + 1];
    name[kFontNameCapacity] = L'?';
    ReadFontFullName(path.c_str(), name);
    EXPECT_EQ(L'?', name[kFontNameCapacity]) << "written beyond the buffer";
    return name;
}

TEST(FontFullName, SampleFontsBuiltWithFontTools) {
    TempFolder dir;
    struct Case {
        const char* name;
        const unsigned char* bytes;
        size_t size;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"one Macintosh full name beside a Windows one", kExampleSansFont, sizeof(kExampleSansFont),
         kExampleSansFontName},
        {"two Macintosh full names: the later", kTwoNamesFont, sizeof(kTwoNamesFont), kTwoNamesFontName},
        {"Windows names only", kWindowsOnlyFont, sizeof(kWindowsOnlyFont), kWindowsOnlyFontName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring path = dir.Join(L"sample.ttf");
        ASSERT_TRUE(WriteFileBytes(path, Bytes(c.bytes, c.bytes + c.size)));
        EXPECT_EQ(std::wstring(c.expected), FullName(path));
    }
}

TEST(FontFullName, NameTablesMadeByHand) {
    TempFolder dir;
    const std::string name = "Example Sans";
    auto cut = [](SfntImage image, size_t size) {
        image.bytes.resize(size);
        return image;
    };
    auto withNameTableAt = [](SfntImage image, uint32_t offset) {
        PutU32(image.bytes, image.nameTableRecord + 8, offset);
        return image;
    };
    auto withStringAt = [](SfntImage image, uint16_t offset) {
        PutU16(image.bytes, image.nameTable + 6 + 10, offset);
        return image;
    };
    auto withTableCount = [](SfntImage image, uint16_t count) {
        PutU16(image.bytes, 4, count);
        return image;
    };
    const SfntImage plain = MakeSfnt(0, {Mac(name)});
    struct Case {
        const char* name;
        Bytes bytes;
        std::wstring expected;
    };
    const Case cases[] = {
        {"one Macintosh full name", plain.bytes, L"Example Sans"},
        {"any encoding and language", MakeSfnt(2, {{1, 3, 17, 4, name}}).bytes, L"Example Sans"},
        {"Windows and other Macintosh names are not used",
         MakeSfnt(0, {{3, 1, 0x409, 4, "W"}, {1, 0, 0, 1, "Family"}, {0, 3, 0, 4, "U"}}).bytes, L""},
        {"the last of several", MakeSfnt(0, {Mac("First"), {3, 1, 0x409, 4, "W"}, Mac("Second")}).bytes, L"Second"},
        {"empty name", MakeSfnt(0, {Mac("")}).bytes, L""},
        {"name is the 40th table record", MakeSfnt(39, {Mac(name)}).bytes, L"Example Sans"},
        {"name is the 41st table record", MakeSfnt(40, {Mac(name)}).bytes, L""},
        {"no tables", withTableCount(plain, 0).bytes, L""},
        {"name lies beyond the counted tables", withTableCount(MakeSfnt(3, {Mac(name)}), 3).bytes, L""},
        {"518 characters", MakeSfnt(0, {Mac(std::string(518, 'n'))}).bytes, std::wstring(518, L'n')},
        {"519 characters: fits exactly", MakeSfnt(0, {Mac(std::string(519, 'n'))}).bytes, std::wstring(519, L'n')},
        {"520 characters: one too long", MakeSfnt(0, {Mac(std::string(520, 'n'))}).bytes, L""},
        {"too long after a good one", MakeSfnt(0, {Mac(name), Mac(std::string(600, 'n'))}).bytes, L""},
        {"name table beyond the end", withNameTableAt(plain, 0x10000).bytes, L""},
        {"string beyond the end", withStringAt(plain, 0x8000).bytes, L""},
        {"string cut short", cut(plain, plain.bytes.size() - 1).bytes, L""},
        {"name records cut short", cut(MakeSfnt(0, {Mac(name), Mac("Other")}), 12 + 16 + 6 + 12 + 6).bytes,
         L""},
        {"table records cut short", cut(MakeSfnt(5, {Mac(name)}), 12 + 16 * 3).bytes, L""},
        {"shorter than the offset table", Bytes(8, 0), L""},
        {"empty file", Bytes(), L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring path = dir.Join(L"made.ttf");
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        EXPECT_EQ(c.expected, FullName(path));
    }
    EXPECT_EQ(L"", FullName(dir.Join(L"missing.ttf")));
}

TEST(FontFullName, InstalledTrueTypeFontsReadAsFontToolsReadsThem) {
    // The build copies the host's /usr/share/fonts/truetype into its host-fonts folder.
    const std::wstring root = BinFolder() + L"\\..\\host-fonts\\truetype\\";
    ASSERT_GT(ARRAYSIZE(kInstalledFontNames), 0u);
    for (const InstalledFontName& font : kInstalledFontNames) {
        SCOPED_TRACE(Utf8(font.path));
        ASSERT_TRUE(Exists(root + font.path));
        EXPECT_EQ(std::wstring(font.fullName), FullName(root + font.path));
    }
}

// A value under a Fonts key, removed again when the object goes.
class FontsValue {
public:
    FontsValue(bool nt, std::wstring name) : key_(FontsKeyPath(nt)), name_(std::move(name)) {
        created_ = SetText(HKEY_LOCAL_MACHINE, key_, name_, L"file.ttf");
    }
    ~FontsValue() { DeleteValue(HKEY_LOCAL_MACHINE, key_, name_); }
    bool Created() const { return created_; }
    bool Exists() const { return ValueExists(HKEY_LOCAL_MACHINE, key_, name_); }

private:
    std::wstring key_, name_;
    bool created_ = false;
};

std::vector<std::wstring> g_fontRemovals;
std::vector<BOOL> g_fontRemovalResults;
BOOL WINAPI RecordFontRemoval(LPCWSTR path) {
    BOOL result = RemoveFontResourceW(path);
    g_fontRemovals.push_back(path);
    g_fontRemovalResults.push_back(result);
    return result;
}
int g_fontChangeBroadcasts = 0;
LRESULT WINAPI RecordBroadcast(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == HWND_BROADCAST && message == WM_FONTCHANGE && wParam == 0 && lParam == 0) ++g_fontChangeBroadcasts;
    return SendMessageW(window, message, wParam, lParam);
}

// Each case clears the recorded calls itself.
class FontDeregistration : public ProgramTest {
protected:
    TempFolder dir_;
    API_GUARD_MEMBER(RemoveFontResource, RecordFontRemoval);
    API_GUARD_MEMBER(SendMessage, RecordBroadcast);
};

TEST_F(FontDeregistration, RemovesResourceAndThePlatformsValueAndBroadcasts) {
    const std::wstring valueName = std::wstring(kTwoNamesFontName) + L" (TrueType)";
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT key" : "9x key");
        Platform.IsNT = nt;
        g_fontRemovals.clear();
        g_fontRemovalResults.clear();
        g_fontChangeBroadcasts = 0;
        std::wstring path = dir_.Join(nt ? L"two-nt.ttf" : L"two-9x.ttf");
        ASSERT_TRUE(WriteFileBytes(path, Bytes(kTwoNamesFont, kTwoNamesFont + sizeof(kTwoNamesFont))));
        FontsValue mine(nt, valueName), other(!nt, valueName), earlier(nt, L"Uninst Early Name (TrueType)");
        ASSERT_TRUE(mine.Created() && other.Created() && earlier.Created());
        bool added = AddFontResourceW(path.c_str()) > 0;

        UnregisterFont(path.c_str());
        EXPECT_FALSE(mine.Exists());
        EXPECT_TRUE(other.Exists()) << "the other platform's key is not touched";
        EXPECT_TRUE(earlier.Exists()) << "only the last full name counts";
        ASSERT_EQ(std::vector<std::wstring>{path}, g_fontRemovals);
        if (added) EXPECT_TRUE(g_fontRemovalResults[0]) << "the resource added above was removed";
        EXPECT_EQ(1, g_fontChangeBroadcasts);
    }
}

TEST_F(FontDeregistration, WithoutANameOnlyTheResourceGoesAndTheChangeIsBroadcast) {
    Platform.IsNT = true;
    FontsValue hidden(true, L"Uninst Hidden Name (TrueType)");
    FontsValue empty(true, L" (TrueType)");
    ASSERT_TRUE(hidden.Created() && empty.Created());
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"name beyond the 40th table record", MakeSfnt(40, {Mac("Uninst Hidden Name")}).bytes},
        {"no Macintosh full name",
         Bytes(kWindowsOnlyFont, kWindowsOnlyFont + sizeof(kWindowsOnlyFont))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_fontRemovals.clear();
        g_fontChangeBroadcasts = 0;
        std::wstring path = dir_.Join(L"nameless.ttf");
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        UnregisterFont(path.c_str());
        EXPECT_TRUE(hidden.Exists());
        EXPECT_TRUE(empty.Exists()) << "an empty name deletes no value";
        EXPECT_EQ(std::vector<std::wstring>{path}, g_fontRemovals);
        EXPECT_EQ(1, g_fontChangeBroadcasts);
    }
}

}  // namespace
