// The file removal pass, in process against the test machine's own prefix: files in a temp
// folder, counts under the real SharedDLLs key, the shared-file question and the read-only
// prompt answered by the scripted screen table, files held open by another process, folder
// records, records that do not fit WorkPath, and what each record's outcome and the progress
// reports say.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "data/install_records.h"
#include "folders/resolve_folder.h"
#include "removal/file_pass.h"
#include "support/api_guard.h"
#include "support/fake_pass_ui.h"
#include "support/loaded_data.h"
#include "support/program_test.h"
#include "support/uninst_runner.h"

using uninstpack::FileRecord;

namespace {

class FilePass : public ProgramTest {
protected:
    void SetUp() override { SetInstallDir(dir_.Path()); }
    void TearDown() override { ReleaseUninstallData(); }

    // Runs the pass over `records` with messages_, after the fake has forgotten the last run.
    void RunPass(const std::vector<FileRecord>& records) {
        ui_.Forget();
        ReleaseUninstallData();
        EXPECT_TRUE(LoadMessages(messages_));
        EXPECT_TRUE(LoadFileRecords(records));
        RemoveInstalledFiles();
    }

    std::u16string Folder() const { return Utf16(dir_.Path()); }

    TempFolder dir_;
    std::vector<std::u16string> messages_ = StandardMessages();
    FakePassUi ui_;
};

const UINT kQuestionType = MB_YESNO | MB_ICONQUESTION;
// A file record's line in the log.
Logged FileLog(RecordOutcome outcome, const std::wstring& path, DWORD detail = 0) {
    return {kRecordFile, outcome, detail, path};
}

// --- shared files ----------------------------------------------------------------------------

TEST_F(FilePass, SharedFileCountsDownAndAsksOnlyForTheLastReference) {
    struct Case {
        const char* name;
        std::optional<DWORD> count;  // SharedDLLs value before the pass
        bool held;                   // held open by another process
        bool present;                // the file exists
        int answer;                  // to the shared-file question; 0: none may be asked
        bool fileStays;
        std::optional<DWORD> countAfter;
        RecordOutcome outcome;  // what the log notes, with its detail
        DWORD detail;
    };
    const RecordOutcome removal = kRecordRemoval, shared = kRecordKeptShared, byUser = kRecordKeptByUser;
    const Case cases[] = {
        {"count 3: one reference fewer, no question", 3, false, true, 0, true, 2, shared, 2},
        {"count 1, answered Yes", 1, false, true, IDYES, false, std::nullopt, removal, 0},
        {"count 1, answered No: stays with 0", 1, false, true, IDNO, true, 0, byUser, 0},
        {"count 1 while in use: nothing written or asked", 1, true, true, 0, true, 1, kRecordInUse, 0},
        {"count 3 while in use: still counted down", 3, true, true, 0, true, 2, shared, 2},
        {"no value, answered Yes", std::nullopt, false, true, IDYES, false, std::nullopt, removal, 0},
        {"no value, answered No", std::nullopt, false, true, IDNO, true, std::nullopt, byUser, 1},
        {"count 0, answered Yes", 0, false, true, IDYES, false, std::nullopt, removal, 0},
        {"missing file, count 1: still asked", 1, false, false, IDYES, false, std::nullopt, removal,
         ERROR_FILE_NOT_FOUND},
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

        ui_.questionAnswers = {c.answer};
        RunPass({{Folder(), Utf16(name), kFileShared}});
        holder.Release();

        std::vector<Question> expected;
        if (c.answer) expected.push_back({FormatWith(StandardMessages()[10], path), kQuestionType});
        EXPECT_EQ(expected, ui_.questions);
        EXPECT_EQ(c.fileStays, Exists(path));
        EXPECT_EQ(c.countAfter, value.Get());
        EXPECT_EQ(std::vector<Logged>{FileLog(c.outcome, path, c.detail)}, ui_.log);
        if (Exists(path)) dir_.Remove(path);
    }
}

TEST_F(FilePass, SharedQuestionWithoutTextRemovesAndALongTextIsCut) {
    std::wstring path = dir_.Join(L"quiet.dll");
    ASSERT_TRUE(MakeFile(path));
    SharedCount value(path);
    ASSERT_TRUE(value.Set(1));
    messages_[10] = u"";
    RunPass({{Folder(), u"quiet.dll", kFileShared}});
    EXPECT_EQ(std::vector<Question>{}, ui_.questions);
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(value.Get().has_value());

    // 1020 characters before the path: the text asked is the first 1023 units of the whole.
    ASSERT_TRUE(MakeFile(path));
    messages_[10] = std::u16string(1020, u'q') + u"%s?";
    RunPass({{Folder(), u"quiet.dll", kFileShared}});
    ASSERT_EQ(1u, ui_.questions.size());
    EXPECT_EQ((std::wstring(1020, L'q') + path).substr(0, 1023), ui_.questions[0].text);
    EXPECT_TRUE(Exists(path));
}

// --- read-only files -------------------------------------------------------------------------

TEST_F(FilePass, ReadOnlyPromptAnswersApplyToThisFileOrToAllLaterOnes) {
    struct Case {
        const char* name;
        std::deque<ReadOnlyAnswer> answers;
        int prompts;             // prompts shown, for c, b, a in that order
        std::vector<bool> stay;  // a, b, c afterwards
        int yesToAll;
    };
    const Case cases[] = {
        {"No, Yes, No", {kAnswerNo, kAnswerYes, kAnswerNo}, 3, {true, false, true}, -1},
        {"Yes to all", {kAnswerYesToAll}, 1, {false, false, false}, 1},
        {"No to all", {kAnswerNoToAll}, 1, {true, true, true}, 0},
        {"Yes, then No to all", {kAnswerYes, kAnswerNoToAll}, 2, {true, true, false}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Removal.YesToAllState = -1;
        std::vector<std::wstring> paths;
        for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) {
            paths.push_back(dir_.Join(name));
            ASSERT_TRUE(MakeFile(paths.back(), FILE_ATTRIBUTE_READONLY));
        }
        ui_.promptAnswers = c.answers;
        RunPass({{Folder(), u"a.txt", 0}, {Folder(), u"b.txt", 0}, {Folder(), u"c.txt", 0}});
        EXPECT_EQ(std::vector<std::wstring>(paths.rbegin(), paths.rbegin() + c.prompts), ui_.prompts);
        std::vector<Logged> expectedLog;
        for (int i = 2; i >= 0; --i)  // last record first
            expectedLog.push_back(FileLog(c.stay[i] ? kRecordKeptByUser : kRecordRemoval, paths[i]));
        EXPECT_EQ(expectedLog, ui_.log);
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
    RunPass({{Folder(), u"ro.txt", 0}, {Folder(), u"ro.ttf", kFileFont}, {Folder(), u"ro.dll", kFileCom}});
    EXPECT_EQ(std::vector<std::wstring>{}, ui_.prompts);
    EXPECT_FALSE(Exists(font));
    EXPECT_FALSE(Exists(server));
    EXPECT_TRUE(Exists(plain)) << "no to all still holds for other files";
    EXPECT_EQ((std::vector<Logged>{FileLog(kRecordRemoval, server), FileLog(kRecordRemoval, font),
                                   FileLog(kRecordKeptByUser, plain)}),
              ui_.log);
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
    EXPECT_EQ(std::vector<Logged>{FileLog(kRecordRemoved, faulting)}, ui_.log);
    dir_.Remove(faulting + L".log");

    // Deletions denied through the table, on the in-process way (the file is no DLL).
    Platform.IsNT6OrLater = false;
    API_GUARD(DeleteFile, DenySomeDeletions);
    struct Case {
        int denied;
        uint8_t flags;
        bool stays;
        Logged logged;
    };
    std::wstring path = dir_.Join(L"denied.dll");
    const Case cases[] = {{2, kFileCom, false, FileLog(kRecordRemoved, path)},
                          {1000, kFileCom, true, FileLog(kRecordRemoval, path, ERROR_ACCESS_DENIED)},
                          {1, 0, true, FileLog(kRecordRemoval, path, ERROR_ACCESS_DENIED)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "denied " << c.denied << " times, flags " << int(c.flags));
        ASSERT_TRUE(MakeFile(path));
        g_deniedDeletions = c.denied;
        RunPass({{Folder(), u"denied.dll", c.flags}});
        EXPECT_EQ(c.stays, Exists(path));
        EXPECT_EQ(std::vector<Logged>{c.logged}, ui_.log);
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
        RunPass({{Folder(), u"busy.dll", kFileFont | kFileCom}});
        EXPECT_EQ(std::vector<Logged>{FileLog(kRecordInUse, path)}, ui_.log) << "and nothing asked";
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
    EXPECT_EQ(std::vector<Logged>{FileLog(kRecordRemoved, path)}, ui_.log);
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
    SetInstallDir(install);

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
    auto folder = [](RecordOutcome outcome, const std::wstring& path, DWORD detail = 0) {
        return Logged{kRecordFolder, outcome, detail, path};
    };
    EXPECT_EQ((std::vector<Logged>{folder(kRecordRemoval, empty), folder(kRecordRemoval, full, ERROR_DIR_NOT_EMPTY),
                                   folder(kRecordKeptProtected, fonts), folder(kRecordKeptProtected, L"C:\\"),
                                   folder(kRecordRemoval, bin), folder(kRecordRemoval, install + L"\\")}),
              ui_.log);
}

// Only a full path is used: what the current directory would lend a record stays (a record
// "#Nowhere#" once removed C:\#Nowhere#\stray.txt), and a leading macro names its folder.
TEST_F(FilePass, RecordsWithoutAFullPathRemoveNothing) {
    const std::wstring nowhere = dir_.MakeFolder(L"#Nowhere#");
    const std::wstring empty = dir_.MakeFolder(L"empty");
    const std::wstring sub = dir_.MakeFolder(L"sub");
    for (const std::wstring& path : {nowhere + L"\\stray.txt", dir_.Join(L"stray.txt"), dir_.Join(L"gone.txt")})
        ASSERT_TRUE(MakeFile(path));
    {
        ScopedCurrentDirectory inside(dir_.Path());
        ASSERT_TRUE(inside.Changed());
        RunPass({{u"#Nowhere#", u"stray.txt", kFileShared},
                 {u"#Nowhere#", u""},
                 {u"", u"stray.txt"},
                 {u"empty", u""},
                 {u"#installdir#", u"gone.txt"},
                 {u"#InstallDir#\\sub", u""}});
    }
    EXPECT_EQ(std::vector<Question>{}, ui_.questions);
    EXPECT_EQ((std::vector<Logged>{{kRecordFolder, kRecordRemoval, 0, sub},
                                   FileLog(kRecordRemoval, dir_.Join(L"gone.txt")),
                                   {kRecordFolder, kRecordSkippedPath, 0, L"empty"},
                                   FileLog(kRecordSkippedPath, L""),
                                   {kRecordFolder, kRecordSkippedMacro, 0, L"#Nowhere#"},
                                   FileLog(kRecordSkippedMacro, L"#Nowhere#")}),
              ui_.log);
    EXPECT_TRUE(Exists(nowhere + L"\\stray.txt"));
    EXPECT_TRUE(Exists(dir_.Join(L"stray.txt")));
    EXPECT_TRUE(Exists(empty));
    EXPECT_FALSE(Exists(dir_.Join(L"gone.txt")));
    EXPECT_FALSE(Exists(sub));
}

// --- records that do not fit, and progress ---------------------------------------------------

int g_registryOpens = 0;
LSTATUS WINAPI CountRegistryOpen(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) {
    ++g_registryOpens;
    return ERROR_FILE_NOT_FOUND;
}

TEST_F(FilePass, RecordTooLongForWorkPathIsPassedOverButCountedForProgress) {
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

    Removal.ProgressTotal = 6;  // 2F: the emptied-folder pass's stretch follows
    g_registryOpens = 0;
    RunPass({
        {Folder(), Utf16(std::wstring(cchName - 1, L'C')), 0},
        {Folder(), Utf16(std::wstring(cchName, L'A')), 0},
        {Folder(), tooLong, kFileShared},
    });
    EXPECT_EQ(std::vector<Question>{}, ui_.questions);
    EXPECT_EQ(0, g_registryOpens) << "no count touched for a path that does not fit";
    EXPECT_FALSE(Exists(fits));
    EXPECT_FALSE(Exists(fitsExactly));
    EXPECT_TRUE(Exists(shortened));
    EXPECT_EQ((std::vector<Logged>{FileLog(kRecordSkippedPath, dir_.Path()), FileLog(kRecordRemoval, fitsExactly),
                                   FileLog(kRecordRemoval, fits)}),
              ui_.log);
    // After records 3, 2, 1: positions 0, 1, 2 of 6.
    EXPECT_EQ((std::vector<DWORD>{0, 16, 33}), ui_.progress);

    // Without a progress dialog nothing is reported.
    Removal.ProgressTotal = 0;
    RunPass({{Folder(), u"gone1", 0}, {Folder(), u"gone2", 0}, {Folder(), u"gone3", 0}});
    EXPECT_TRUE(ui_.progress.empty());
}

}  // namespace
