// The file removal pass, in process against the test machine's own prefix: files in a temp
// folder, counts under the real SharedDLLs key, the shared-file question and the read-only
// prompt answered from a second thread as a user would, files held open by another process,
// folder records, records that do not fit WorkPath, and the progress reports.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "data/install_records.h"
#include "data/message_table.h"
#include "data/path_buffer.h"
#include "folders/resolve_folder.h"
#include "platform/api_table.h"
#include "removal/file_pass.h"
#include "removal/progress.h"
#include "run/ui_windows.h"
#include "support/api_guard.h"
#include "support/loaded_data.h"
#include "support/process_globals.h"
#include "support/uninst_runner.h"
#include "support/window_driver.h"

using uninstpack::Bytes;
using uninstpack::FileRecord;

namespace {

std::wstring Message(int n) { return Wide(StandardMessages()[n]); }

// ---------------------------------------------------------------------------------------------
// The user: answers the boxes and prompts the pass shows, from a second thread, in order, and
// notes what each said. A window beyond the script is noted and answered No (or Esc).

enum class Answer { Yes, No, YesToAll, NoToAll, Esc };

struct Shown {
    bool prompt;  // the read-only prompt; otherwise a message box
    std::wstring text;
    bool operator==(const Shown& o) const { return prompt == o.prompt && text == o.text; }
};
std::ostream& operator<<(std::ostream& out, const Shown& s) {
    return out << (s.prompt ? "prompt '" : "box '") << Utf8(s.text) << "'";
}
Shown Box(const std::wstring& text) { return {false, text}; }
Shown Prompt(const std::wstring& path) { return {true, FormatWith(StandardMessages()[9], path)}; }
Shown SharedQuestion(const std::wstring& path) { return {false, FormatWith(StandardMessages()[10], path)}; }

class User {
public:
    explicit User(std::vector<Answer> answers) : answers_(std::move(answers)), thread_([this] { Run(); }) {}
    ~User() {
        if (thread_.joinable()) Finish();
    }
    // Call after the pass has returned: no window can appear any more.
    std::vector<Shown> Finish() {
        done_ = true;
        thread_.join();
        return shown_;
    }

private:
    void Run() {
        const std::wstring caption = Message(0);
        HWND window = nullptr;
        auto asked = [&] {
            window = FindProcessWindow(GetCurrentProcessId(), kDialogClass, caption.c_str());
            return window || done_;
        };
        for (;;) {
            WaitUntil(asked, GetCurrentProcess());
            if (done_) break;
            if (!window) continue;
            bool prompt = GetDlgItem(window, IDC_YESTOALL) != nullptr;
            shown_.push_back({prompt, prompt ? WindowText(GetDlgItem(window, IDC_TEXT)) : MessageBoxText(window)});
            Answer answer = next_ < answers_.size() ? answers_[next_++] : (prompt ? Answer::Esc : Answer::No);
            switch (answer) {
            case Answer::Yes: AnswerBox(window, IDYES); break;
            case Answer::No: AnswerBox(window, IDNO); break;
            case Answer::YesToAll: AnswerBox(window, IDC_YESTOALL); break;
            case Answer::NoToAll: AnswerBox(window, IDC_NOTOALL); break;
            case Answer::Esc: PressEscape(window); break;
            }
        }
    }

    std::vector<Answer> answers_;
    size_t next_ = 0;
    std::vector<Shown> shown_;
    std::atomic<bool> done_{false};
    std::thread thread_;  // last: starts once the rest is ready
};

// ---------------------------------------------------------------------------------------------

class FilePass : public ::testing::Test {
protected:
    ProcessGlobalsGuard globals_;
    static void SetUpTestSuite() {
        InitCommonControls();
        resources_ = LoadLibraryExW(BinPath(L"uninst.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (resources_) FreeLibrary(resources_);
        resources_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(nullptr, resources_);
        Platform.ModuleInstance = resources_;
        Paths.InstallDir = installDir_;
        Paths.WorkPath = workPath_;
        OSVERSIONINFOW version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        Platform.IsNT = GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
        ConnectPassUi();
        wcscpy(installDir_, (dir_.Path() + L"\\").c_str());
        ASSERT_TRUE(LoadMessages(StandardMessages()));
        ASSERT_TRUE(RegisterMainWindowClass());
        ASSERT_TRUE(CreateMainWindow());
    }
    void TearDown() override {
        DestroyMainWindow();
        UnregisterClassW(L"VorlixClass", resources_);
        ReleaseUninstallData();
    }

    // Runs the pass over `records` while `answers` are given; returns what was shown.
    std::vector<Shown> RunPass(const std::vector<FileRecord>& records, std::vector<Answer> answers = {}) {
        ReleaseUninstallData();
        EXPECT_TRUE(LoadMessages(messages_));
        EXPECT_TRUE(LoadFileRecords(records));
        User user(std::move(answers));
        RemoveInstalledFiles();
        return user.Finish();
    }

    std::u16string Folder() const { return Utf16(dir_.Path()); }

    TempFolder dir_;
    std::vector<std::u16string> messages_ = StandardMessages();
    static HMODULE resources_;
    WCHAR installDir_[kPathCapacity] = {};
    WCHAR workPath_[kPathCapacity] = {};
};
HMODULE FilePass::resources_ = nullptr;

// --- shared files ----------------------------------------------------------------------------

TEST_F(FilePass, SharedFileCountsDownAndAsksOnlyForTheLastReference) {
    struct Case {
        const char* name;
        std::optional<DWORD> count;  // SharedDLLs value before the pass
        bool held;                   // held open by another process
        bool present;                // the file exists
        std::vector<Answer> answers;
        bool asked;
        bool fileStays;
        std::optional<DWORD> countAfter;
    };
    const Case cases[] = {
        {"count 3: one reference fewer, no question", 3, false, true, {}, false, true, 2},
        {"count 1, answered Yes", 1, false, true, {Answer::Yes}, true, false, std::nullopt},
        {"count 1, answered No: stays with 0", 1, false, true, {Answer::No}, true, true, 0},
        {"count 1 while in use: nothing written or asked", 1, true, true, {}, false, true, 1},
        {"count 3 while in use: still counted down", 3, true, true, {}, false, true, 2},
        {"no value, answered Yes", std::nullopt, false, true, {Answer::Yes}, true, false, std::nullopt},
        {"no value, answered No", std::nullopt, false, true, {Answer::No}, true, true, std::nullopt},
        {"count 0, answered Yes", 0, false, true, {Answer::Yes}, true, false, std::nullopt},
        {"missing file, count 1: still asked", 1, false, false, {Answer::Yes}, true, false, std::nullopt},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring name = L"shared" + std::to_wstring(serial++) + L".dll";
        std::wstring path = dir_.Join(name);
        if (c.present) ASSERT_TRUE(MakeFile(path));
        SharedCount value(path);
        if (c.count) ASSERT_TRUE(value.Set(*c.count));
        HeldFile holder;
        if (c.held) ASSERT_TRUE(holder.Hold(path));

        std::vector<Shown> shown = RunPass({{Folder(), Utf16(name), kFileShared}}, c.answers);
        holder.Release();

        std::vector<Shown> expected;
        if (c.asked) expected.push_back(SharedQuestion(path));
        EXPECT_EQ(expected, shown);
        EXPECT_EQ(c.fileStays, Exists(path));
        EXPECT_EQ(c.countAfter, value.Get());
        if (Exists(path)) dir_.Remove(path);
    }
}

TEST_F(FilePass, SharedQuestionWithoutTextRemovesAndALongTextIsCut) {
    std::wstring path = dir_.Join(L"quiet.dll");
    ASSERT_TRUE(MakeFile(path));
    SharedCount value(path);
    ASSERT_TRUE(value.Set(1));
    messages_[10] = u"";
    EXPECT_EQ(std::vector<Shown>{}, RunPass({{Folder(), u"quiet.dll", kFileShared}}));
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(value.Get().has_value());

    // 1020 characters before the path: the text shown is the first 1023 units of the whole.
    ASSERT_TRUE(MakeFile(path));
    messages_[10] = std::u16string(1020, u'q') + u"%s?";
    std::vector<Shown> shown = RunPass({{Folder(), u"quiet.dll", kFileShared}}, {Answer::No});
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ((std::wstring(1020, L'q') + path).substr(0, 1023), shown[0].text);
    EXPECT_TRUE(Exists(path));
}

// --- read-only files -------------------------------------------------------------------------

TEST_F(FilePass, ReadOnlyPromptAnswersApplyToThisFileOrToAllLaterOnes) {
    struct Case {
        const char* name;
        std::vector<Answer> answers;
        int prompts;             // prompts shown, for c, b, a in that order
        std::vector<bool> stay;  // a, b, c afterwards
        int yesToAll;
    };
    const Case cases[] = {
        {"No, Yes, Esc", {Answer::No, Answer::Yes, Answer::Esc}, 3, {true, false, true}, -1},
        {"Yes to all", {Answer::YesToAll}, 1, {false, false, false}, 1},
        {"No to all", {Answer::NoToAll}, 1, {true, true, true}, 0},
        {"Yes, then No to all", {Answer::Yes, Answer::NoToAll}, 2, {true, true, false}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Removal.YesToAllState = -1;
        std::vector<std::wstring> paths;
        for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) {
            paths.push_back(dir_.Join(name));
            ASSERT_TRUE(MakeFile(paths.back(), FILE_ATTRIBUTE_READONLY));
        }
        std::vector<Shown> shown =
            RunPass({{Folder(), u"a.txt", 0}, {Folder(), u"b.txt", 0}, {Folder(), u"c.txt", 0}}, c.answers);
        std::vector<Shown> expected;
        for (int i = 0; i < c.prompts; ++i) expected.push_back(Prompt(paths[2 - i]));  // last record first
        EXPECT_EQ(expected, shown);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(c.stay[i], Exists(paths[i])) << Utf8(paths[i]);
            if (Exists(paths[i])) {
                EXPECT_TRUE(GetFileAttributesW(paths[i].c_str()) & FILE_ATTRIBUTE_READONLY) << "left as it was";
                SetFileAttributesW(paths[i].c_str(), FILE_ATTRIBUTE_NORMAL);
                dir_.Remove(paths[i]);
            }
        }
        EXPECT_EQ(c.yesToAll, Removal.YesToAllState);
    }
}

TEST_F(FilePass, ReadOnlyFontAndComServerGoWithoutAPromptEvenAfterNoToAll) {
    std::wstring font = dir_.Join(L"ro.ttf");
    std::wstring server = dir_.Join(L"ro.dll");
    std::wstring plain = dir_.Join(L"ro.txt");
    ASSERT_TRUE(MakeFile(font, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CopyFileW(BinPath(L"com_noexport_dll.dll").c_str(), server.c_str(), FALSE));
    ASSERT_TRUE(SetFileAttributesW(server.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(plain, FILE_ATTRIBUTE_READONLY));
    Removal.YesToAllState = 0;
    EXPECT_EQ(std::vector<Shown>{},
              RunPass({{Folder(), u"ro.txt", 0}, {Folder(), u"ro.ttf", kFileFont}, {Folder(), u"ro.dll", kFileCom}}));
    EXPECT_FALSE(Exists(font));
    EXPECT_FALSE(Exists(server));
    EXPECT_TRUE(Exists(plain)) << "no to all still holds for other files";
    SetFileAttributesW(plain.c_str(), FILE_ATTRIBUTE_NORMAL);
}

int g_deniedDeletions = 0;
BOOL WINAPI DenySomeDeletions(LPCWSTR path) {
    if (g_deniedDeletions > 0) {
        --g_deniedDeletions;
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return DeleteFileW(path);
}

TEST_F(FilePass, ComServerGoesAfterItsToolFaultedButOnlyServersAreTriedAgain) {
    // regsvr32 on a server that faults: its image is released a moment after the tool ends.
    Platform.IsNT6OrLater = true;
    std::wstring faulting = dir_.Join(L"fault.dll");
    ASSERT_TRUE(CopyFileW(BinPath(L"com_fault_dll.dll").c_str(), faulting.c_str(), FALSE));
    RunPass({{Folder(), u"fault.dll", kFileCom}});
    EXPECT_TRUE(Exists(faulting + L".log")) << "the server's unregistration ran";
    EXPECT_FALSE(Exists(faulting));
    dir_.Remove(faulting + L".log");

    // Deletions denied through the table, on the in-process way (the file is no DLL).
    Platform.IsNT6OrLater = false;
    API_GUARD(DeleteFile, DenySomeDeletions);
    struct Case {
        int denied;
        uint8_t flags;
        bool stays;
    } cases[] = {{2, kFileCom, false}, {1000, kFileCom, true}, {1, 0, true}};
    for (const Case& c : cases) {
        std::wstring path = dir_.Join(L"denied.dll");
        ASSERT_TRUE(MakeFile(path));
        g_deniedDeletions = c.denied;
        RunPass({{Folder(), u"denied.dll", c.flags}});
        EXPECT_EQ(c.stays, Exists(path)) << "denied " << c.denied << " times, flags " << int(c.flags);
        g_deniedDeletions = 0;
        DeleteFileW(path.c_str());
    }
}

// --- files in use ----------------------------------------------------------------------------

int g_fontRemovals = 0, g_processStarts = 0;
BOOL WINAPI CountFontRemoval(LPCWSTR) { return ++g_fontRemovals, TRUE; }
BOOL WINAPI CountProcessStart(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                              LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    ++g_processStarts;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

TEST_F(FilePass, FileInUseStaysWithoutMessageAndKeepsItsRegistrations) {
    API_GUARD(RemoveFontResource, CountFontRemoval);
    API_GUARD(CreateProcess, CountProcessStart);
    g_fontRemovals = g_processStarts = 0;
    // A server that marks "<path>.loaded" when it is loaded in process.
    std::wstring path = dir_.Join(L"busy.dll");
    ASSERT_TRUE(CopyFileW(BinPath(L"com_noexport_dll.dll").c_str(), path.c_str(), FALSE));
    HeldFile holder;
    ASSERT_TRUE(holder.Hold(path));
    for (bool nt6 : {true, false}) {
        Platform.IsNT6OrLater = nt6;
        EXPECT_EQ(std::vector<Shown>{}, RunPass({{Folder(), u"busy.dll", kFileFont | kFileCom}}));
    }
    holder.Release();
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(0, g_fontRemovals);
    EXPECT_EQ(0, g_processStarts);
    EXPECT_FALSE(Exists(path + L".loaded"));

    // The same record once the file is free: both registrations are undone, then it goes.
    Platform.IsNT6OrLater = true;
    RunPass({{Folder(), u"busy.dll", kFileFont | kFileCom}});
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(1, g_fontRemovals);
    EXPECT_EQ(1, g_processStarts);
    EXPECT_TRUE(Exists(path + L".loaded")) << "regsvr32 could not start: the server is loaded in process";
}

// --- folder records --------------------------------------------------------------------------

std::vector<std::wstring> g_removeDirCalls;
std::wstring g_removeDirAllowed;  // only folders under this one are really removed
BOOL WINAPI RecordRemoveDirectory(LPCWSTR path) {
    g_removeDirCalls.push_back(path);
    std::wstring p(path);
    if (p.compare(0, g_removeDirAllowed.size(), g_removeDirAllowed) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return RemoveDirectoryW(path);
}

TEST_F(FilePass, FolderRecordsRemoveOnlyEmptyUnprotectedFolders) {
    API_GUARD(RemoveDirectory, RecordRemoveDirectory);
    g_removeDirCalls.clear();
    g_removeDirAllowed = dir_.Path() + L"\\";
    WCHAR fonts[MAX_PATH];
    ASSERT_TRUE(ResolveFolder(fonts, CSIDL_FONTS));
    std::wstring full = dir_.MakeFolder(L"full");
    ASSERT_TRUE(MakeFile(full + L"\\keep.txt"));
    std::wstring empty = dir_.MakeFolder(L"empty");
    std::wstring install = dir_.MakeFolder(L"app");
    std::wstring bin = dir_.MakeFolder(L"app\\bin");
    wcscpy(installDir_, (install + L"\\").c_str());

    RunPass({
        {u".", u"", 0},             // the installation folder, handled last
        {u".\\bin", u"", 0},
        {u"C:\\", u"", 0},
        {Utf16(fonts), u"", 0},
        {Utf16(full), u"", 0},
        {Utf16(empty), u"", 0},
    });
    EXPECT_TRUE(Exists(full));
    EXPECT_FALSE(Exists(empty));
    EXPECT_FALSE(Exists(bin));
    EXPECT_FALSE(Exists(install)) << "emptied by the record before it";
    const std::vector<std::wstring> expected = {empty, full, bin, install + L"\\"};
    EXPECT_EQ(expected, g_removeDirCalls) << "never asked to remove the drive root or the Fonts folder";
}

// Only a full path is used: what the current directory would lend a record stays (a record
// "#Nowhere#" once removed C:\#Nowhere#\stray.txt), and a leading macro names its folder.
TEST_F(FilePass, RecordsWithoutAFullPathRemoveNothing) {
    const std::wstring nowhere = dir_.MakeFolder(L"#Nowhere#");
    const std::wstring empty = dir_.MakeFolder(L"empty");
    const std::wstring sub = dir_.MakeFolder(L"sub");
    for (const std::wstring& path : {nowhere + L"\\stray.txt", dir_.Join(L"stray.txt"), dir_.Join(L"gone.txt")})
        ASSERT_TRUE(MakeFile(path));
    WCHAR current[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, current));
    ASSERT_TRUE(SetCurrentDirectoryW(dir_.Path().c_str()));
    std::vector<Shown> shown = RunPass({{u"#Nowhere#", u"stray.txt", kFileShared},
                                        {u"#Nowhere#", u""},
                                        {u"", u"stray.txt"},
                                        {u"empty", u""},
                                        {u"#installdir#", u"gone.txt"},
                                        {u"#InstallDir#\\sub", u""}});
    SetCurrentDirectoryW(current);
    EXPECT_EQ(std::vector<Shown>{}, shown);
    EXPECT_TRUE(Exists(nowhere + L"\\stray.txt"));
    EXPECT_TRUE(Exists(dir_.Join(L"stray.txt")));
    EXPECT_TRUE(Exists(empty));
    EXPECT_FALSE(Exists(dir_.Join(L"gone.txt")));
    EXPECT_FALSE(Exists(sub));
}

// --- records that do not fit, and progress ---------------------------------------------------

std::vector<WPARAM> g_positions;
LRESULT WINAPI RecordPosition(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == PBM_SETPOS) g_positions.push_back(wParam);
    return 0;
}
int g_registryOpens = 0;
LSTATUS WINAPI CountRegistryOpen(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) {
    ++g_registryOpens;
    return ERROR_FILE_NOT_FOUND;
}

TEST_F(FilePass, RecordTooLongForWorkPathIsPassedOverButCountedForProgress) {
    API_GUARD(SendMessage, RecordPosition);
    API_GUARD(RegOpenKeyEx, CountRegistryOpen);
    // File names that make the full path 258, 259 (fits exactly) and 260 characters long. The
    // last one, shortened to 259, names a file that exists and must survive.
    const size_t cchName = 259 - (dir_.Path().size() + 1);
    const std::wstring fits = dir_.Join(std::wstring(cchName - 1, L'C'));
    const std::wstring fitsExactly = dir_.Join(std::wstring(cchName, L'A'));
    const std::wstring shortened = dir_.Join(std::wstring(cchName, L'B'));
    ASSERT_EQ(259u, fitsExactly.size());
    for (const std::wstring& path : {fits, fitsExactly, shortened}) ASSERT_TRUE(MakeFile(path));
    const std::u16string tooLong = Utf16(std::wstring(cchName, L'B') + L"z");

    Screen.ProgressBar = reinterpret_cast<HWND>(0x4242);
    Removal.ProgressTotal = 6;  // 2F: the emptied-folder pass's stretch follows
    Screen.LastPercent = 0;
    g_positions.clear();
    g_registryOpens = 0;
    std::vector<Shown> shown = RunPass({
        {Folder(), Utf16(std::wstring(cchName - 1, L'C')), 0},
        {Folder(), Utf16(std::wstring(cchName, L'A')), 0},
        {Folder(), tooLong, kFileShared},
    });
    Screen.ProgressBar = nullptr;
    EXPECT_EQ(std::vector<Shown>{}, shown);
    EXPECT_EQ(0, g_registryOpens) << "no count touched for a path that does not fit";
    EXPECT_FALSE(Exists(fits));
    EXPECT_FALSE(Exists(fitsExactly));
    EXPECT_TRUE(Exists(shortened));
    // After records 3, 2, 1: positions 0, 1, 2 of 6; a first 0 sends nothing.
    EXPECT_EQ((std::vector<WPARAM>{16, 33}), g_positions);

    // Without a progress window nothing is reported.
    g_positions.clear();
    Screen.LastPercent = 0;
    Removal.ProgressTotal = 0;
    RunPass({{Folder(), u"gone1", 0}, {Folder(), u"gone2", 0}, {Folder(), u"gone3", 0}});
    EXPECT_TRUE(g_positions.empty());
}

}  // namespace
