// Hardening of the elevated program: where it lets the system find DLLs and tools, its
// temporary copy against a name planted or a file swapped in the temporary folder, and DLLs
// named like system DLLs planted beside the real uninstaller and beside its temporary copy.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/api_table.h"
#include "platform/system_library.h"
#include "run/self_removal.h"
#include "support/temp_copy_test.h"
#include "support/uninst_runner.h"

using uninstpack::Bytes;

namespace {

// ---- system paths ----

TEST(SystemFilePath, NamesTheFileInTheSystemDirectoryOrNothing) {
    EXPECT_EQ(SystemFolder() + L"\\uxtheme.dll", [] {
        WCHAR path[MAX_PATH];
        return SystemFilePath(L"uxtheme.dll", path, MAX_PATH) ? std::wstring(path) : L"<false>";
    }());

    API_GUARD(GetSystemDirectory, FakeSystemDirectory);
    // "\\regsvr32.exe" is 13 characters: with a directory of 246 the path is 259 and fits.
    struct Case { std::wstring dir; bool fits; };
    const Case cases[] = {
        {L"C:\\" + std::wstring(242, L's'), true},   // 245 + 13 = 258
        {L"C:\\" + std::wstring(243, L's'), true},   // 259: fits exactly
        {L"C:\\" + std::wstring(244, L's'), false},  // 260: one too long
        {L"C:\\", true},                             // a root keeps a single backslash
        {L"", false},                                // no system directory at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir.size());
        FakeSystemFolder = c.dir;
        WCHAR path[MAX_PATH];
        wcscpy(path, L"old");
        bool fits = SystemFilePath(L"regsvr32.exe", path, MAX_PATH);
        EXPECT_EQ(c.fits, fits);
        std::wstring expected = c.dir + (c.dir.size() == 3 ? L"" : L"\\") + L"regsvr32.exe";
        EXPECT_EQ(c.fits ? expected : L"", std::wstring(path));
    }
}

// ---- the program's static imports ----

// Every DLL the program file imports (read from its import table) is one the system always
// maps from its own directory; the common controls, which are not, are loaded at run time
// after the search is restricted, so neither they nor InitCommonControls appear here.
TEST(ProgramImports, OnlyDllsTheSystemTakesFromItsOwnDirectory) {
    Bytes file = ReadFileBytes(BinPath(L"uninst.exe"));
    ASSERT_GT(file.size(), 0x200u);
    auto u32 = [&](size_t at) {
        DWORD v = 0;
        if (at + 4 <= file.size()) memcpy(&v, &file[at], 4);
        return v;
    };
    auto u16 = [&](size_t at) { return WORD(u32(at) & 0xFFFF); };
    size_t pe = u32(0x3C);
    size_t optional = pe + 24;
    size_t sections = optional + u16(pe + 20);
    int sectionCount = u16(pe + 6);
    auto fileOffset = [&](DWORD rva) -> size_t {
        for (int i = 0; i < sectionCount; ++i) {
            size_t s = sections + 40 * i;
            DWORD va = u32(s + 12), size = u32(s + 16), raw = u32(s + 20);
            if (rva >= va && rva < va + size) return raw + (rva - va);
        }
        return 0;
    };
    size_t imports = fileOffset(u32(optional + 104));  // data directory 1
    ASSERT_NE(0u, imports);
    const char* const known[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                 "shell32.dll",  "ole32.dll",  "msvcrt.dll"};
    int count = 0;
    for (size_t d = imports; u32(d + 12) != 0; d += 20, ++count) {
        std::string dll(reinterpret_cast<const char*>(&file[fileOffset(u32(d + 12))]));
        bool isKnown = false;
        for (const char* k : known) isKnown |= _stricmp(dll.c_str(), k) == 0;
        EXPECT_TRUE(isKnown) << dll << " is imported";
    }
    EXPECT_GE(count, 5);
    // A delay-load table would be resolved later, by name, outside this check.
    EXPECT_EQ(0u, u32(optional + 96 + 13 * 8)) << "delay imports";
}

// ---- the temporary copy ----

// What another process of the user could do to the copy while it is being started.
struct Attempts {
    int starts = 0;
    bool writeOpened = false, deleted = false, renamed = false, readOpened = false;
    std::wstring file;
};
Attempts g_attempts;
HINSTANCE WINAPI TryToSwapWhileStarting(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
    ++g_attempts.starts;
    g_attempts.file = file;
    HANDLE h = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    g_attempts.writeOpened = h != INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    g_attempts.renamed = MoveFileW(file, (std::wstring(file) + L".moved").c_str()) != FALSE;
    g_attempts.deleted = !g_attempts.renamed && DeleteFileW(file) != FALSE;
    // Starting needs only reading, which stays open to all.
    h = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    g_attempts.readOpened = h != INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return reinterpret_cast<HINSTANCE>(42);
}

// Replaces the copy's bytes just before the program opens it again to hold it, as another
// process could in the moment between the two opens.
Bytes g_swapIn;
HANDLE WINAPI SwapBeforeReopen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                               DWORD attributes, HANDLE tmpl) {
    if (disposition == OPEN_EXISTING && std::wstring(path).find(L"_uins") != std::wstring::npos)
        WriteFileBytes(path, g_swapIn);
    return CreateFileW(path, access, share, sa, disposition, attributes, tmpl);
}

class TempCopy : public TempCopyTest {
protected:
    void SetUp() override {
        TempCopyTest::SetUp();
        for (size_t i = 0; i < program_.size(); ++i) program_[i] = static_cast<uint8_t>(i * 7);
        PlaceProgram(L"app", program_, 6000);
        g_attempts = Attempts();
    }

    Bytes program_ = Bytes(9000);
};

TEST_F(TempCopy, NameTakenAfterTheCheckIsNeverOverwritten) {
    // The name is free when checked and taken a moment later: the check never sees the file.
    API_GUARD(FindFirstFile, FindNothing);
    const Bytes planted(5, 'p');
    ASSERT_TRUE(WriteFileBytes(Copy(1), planted));
    WCHAR buffer[MAX_PATH];
    HANDLE file = CreateTempCopyFile(buffer, L"_uins%d.exe");
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    EXPECT_EQ(Utf8(Copy(2)), Utf8(buffer)) << "the next number";
    EXPECT_EQ(planted, ReadFileBytes(Copy(1))) << "the file that appeared was written over";
}

TEST_F(TempCopy, CopyIsHeldAgainstWritingAndDeletingUntilStarted) {
    API_GUARD(ShellExecute, TryToSwapWhileStarting);
    ASSERT_TRUE(StartSelfRemoval());
    ASSERT_EQ(1, g_attempts.starts);
    EXPECT_EQ(Utf8(Copy(1)), Utf8(g_attempts.file));
    EXPECT_FALSE(g_attempts.writeOpened) << "opened for writing while being started";
    EXPECT_FALSE(g_attempts.renamed) << "renamed while being started";
    EXPECT_FALSE(g_attempts.deleted) << "deleted while being started";
    EXPECT_TRUE(g_attempts.readOpened) << "the system could not read the copy to start it";
    EXPECT_EQ(Bytes(program_.begin(), program_.begin() + 6000), ReadFileBytes(Copy(1)));

    // Released once started.
    HANDLE h = CreateFileW(Copy(1).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h) << "still held after the start";
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

TEST_F(TempCopy, CopyChangedBeforeItIsHeldIsNotStarted) {
    API_GUARD(ShellExecute, TryToSwapWhileStarting);
    API_GUARD(CreateFile, SwapBeforeReopen);
    Bytes same(program_.begin(), program_.begin() + 6000);
    Bytes changed = same;
    changed[5999] ^= 1;
    Bytes longer = same;
    longer.push_back(0);
    struct Case { const char* name; Bytes swapped; bool started; };
    const Case cases[] = {
        {"same bytes", same, true},  // a replacement changes nothing the copy would run
        {"last byte changed", changed, false},
        {"cut short", Bytes(same.begin(), same.end() - 1), false},
        {"one byte longer", longer, false},
        {"another program", Bytes(100, 'x'), false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_swapIn = c.swapped;
        g_attempts = Attempts();
        EXPECT_EQ(c.started, StartSelfRemoval());
        EXPECT_EQ(c.started ? 1 : 0, g_attempts.starts);
        ++n;
        ASSERT_TRUE(Exists(Copy(n)));
    }
}

// ---- DLLs planted beside the real program and its temporary copy ----

// Names of system DLLs the program uses or could be led to use; the planted copy of the
// test DLL com_noexport_dll marks "<its path>.loaded" when any process loads it.
const wchar_t* const kPlantedNames[] = {L"uxtheme.dll", L"version.dll"};

bool Plant(const std::wstring& folder) {
    for (const wchar_t* name : kPlantedNames)
        if (!CopyFileW(BinPath(L"com_noexport_dll.dll").c_str(), (folder + L"\\" + name).c_str(), FALSE)) return false;
    return true;
}
// The planted names that were loaded from `folder`, but those in `ignored`.
std::wstring LoadedMarks(const std::wstring& folder, const std::wstring& ignored = L"") {
    std::wstring marks;
    for (const wchar_t* name : kPlantedNames)
        if (ignored.find(name) == std::wstring::npos && Exists(folder + L"\\" + name + L".loaded"))
            marks += std::wstring(marks.empty() ? L"" : L", ") + name;
    return marks;
}
void ClearMarks(const std::wstring& folder) {
    for (const wchar_t* name : kPlantedNames) DeleteFileW((folder + L"\\" + name + L".loaded").c_str());
}

TEST(PlantedDlls, NeitherTheProgramNorItsTemporaryCopyLoadsThem) {
    TempFolder dir;
    const std::wstring app = dir.MakeFolder(L"app");
    const std::wstring temp = dir.MakeFolder(L"temp");
    const std::wstring uninstaller = app + L"\\uninst.exe";
    ASSERT_TRUE(WriteUninstaller(uninstaller, uninstpack::EncodeStream(StandardData())));
    ASSERT_TRUE(Plant(app));
    ASSERT_TRUE(Plant(temp));
    // Wine prefers its own DLLs to one beside the program; Windows searches the program's folder
    // first. So each DLL name is put native-first in each program that should find it, as Wine
    // reads it from its registry when that program starts (WINEDLLOVERRIDES in the environment
    // of a started program was not honoured on the test machine); for this test's programs only.
    // version.dll only for the control: Wine's own user32 imports version.dll, so in any program
    // of the test machine a planted one would be loaded with user32, before the program's first
    // instruction (and the planted one, lacking the exports, ends the process). Windows' user32
    // has no such import, and the program itself never loads version.dll.
    Journal nativeFirst;
    for (const auto& [program, dll] : {std::pair{L"uninst.exe", L"uxtheme"}, {L"_uins1.exe", L"uxtheme"},
                                       {L"load_by_name.exe", L"uxtheme"}, {L"load_by_name.exe", L"version"}})
        nativeFirst.SetText(HKEY_CURRENT_USER, std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\DllOverrides",
                            dll, L"native,builtin");
    // The copy goes to the temporary folder that the program is told about.
    ScopedEnvironment tmp(L"TMP", temp);
    ScopedEnvironment tempVariable(L"TEMP", temp);

    // What the platform's own DLLs load by name in a program hardened like ours (the search
    // restricted first) that shows a window: the same helper, asked to load nothing itself. A
    // name it loads cannot tell anything about the uninstaller on this platform.
    std::wstring platformLoads;
    {
        const std::wstring loader = app + L"\\load_by_name.exe";
        ASSERT_TRUE(CopyFileW(BinPath(L"load_by_name.exe").c_str(), loader.c_str(), FALSE));
        EXPECT_EQ(0u, RunProgram(loader, L"--restrict --window"));
        platformLoads = LoadedMarks(app);
        ClearMarks(app);
        ASSERT_TRUE(dir.Remove(loader));
        std::printf("planted DLLs loaded by the platform itself at a program's start: %s\n",
                    platformLoads.empty() ? "none" : Utf8(platformLoads).c_str());
    }
    // The test can fail: a plain load by name, from either folder, finds the planted DLLs.
    for (const std::wstring& folder : {app, temp}) {
        SCOPED_TRACE(Utf8(folder));
        const std::wstring loader = folder + L"\\load_by_name.exe";
        ASSERT_TRUE(CopyFileW(BinPath(L"load_by_name.exe").c_str(), loader.c_str(), FALSE));
        EXPECT_EQ(0u, RunProgram(loader, L"uxtheme.dll version.dll"));
        EXPECT_EQ(L"uxtheme.dll, version.dll", LoadedMarks(folder)) << "the control did not load the planted DLLs";
        ClearMarks(folder);
        ASSERT_TRUE(dir.Remove(loader));
    }
    // Marks the program is answerable for: those of names the platform does not load itself.
    auto programMarks = [&](const std::wstring& folder) { return LoadedMarks(folder, platformLoads); };

    // A silent run that keeps the uninstaller: no self-removal.
    EXPECT_EQ(0u, RunProgram(uninstaller, L"/S"));
    EXPECT_EQ(L"", programMarks(app)) << "loaded beside the uninstaller";
    ASSERT_TRUE(Exists(uninstaller));

    // A quiet run removes itself through its temporary copy, which starts from the planted
    // folder and deletes the uninstaller once the uninstaller has ended.
    EXPECT_EQ(0u, RunProgram(uninstaller, L"/Q"));
    EXPECT_TRUE(WaitForGone(uninstaller)) << "the temporary copy did not run";
    EXPECT_TRUE(Exists(temp + L"\\_uins1.exe"));
    EXPECT_EQ(L"", programMarks(app)) << "loaded beside the uninstaller";
    EXPECT_EQ(L"", programMarks(temp)) << "loaded beside the temporary copy";

    // The copy may still be removing the folder; its file goes once it has ended.
    const std::wstring copy = temp + L"\\_uins1.exe";
    for (DWORD waited = 0; !DeleteFileW(copy.c_str()) && waited < kChildBoundMs; waited += 250) Sleep(250);
    if (Exists(copy)) MoveFileExW(copy.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace
