// Shortcut-file, shortcut-folder and emptied-folder passes on real folders of the prefix (a
// TempFolder, the Start menu's Programs folder, Program Files), with every folder removal the
// passes attempt recorded, so a protected folder that a walk merely tried would show, and what
// they report through the scripted screen table.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "removal/folder_pass.h"
#include "removal/shortcut_pass.h"
#include "support/api_guard.h"
#include "support/fake_pass_ui.h"
#include "support/files_registry.h"
#include "support/loaded_data.h"
#include "support/member_guard.h"
#include "support/program_test.h"

namespace {

std::wstring Unique(const wchar_t* stem) { return stem + std::to_wstring(GetCurrentProcessId()); }

// --- recording fakes -------------------------------------------------------------------------

std::vector<std::wstring> g_removeDirCalls;
std::vector<std::wstring> g_deleteFileCalls;

BOOL WINAPI RecordRemoveDirectory(LPCWSTR path) {
    g_removeDirCalls.push_back(path);
    return RemoveDirectoryW(path);
}
BOOL WINAPI RecordRemoveDirectoryOnly(LPCWSTR path) {
    g_removeDirCalls.push_back(path);
    SetLastError(ERROR_DIR_NOT_EMPTY);
    return FALSE;
}
BOOL WINAPI RecordDeleteFileOnly(LPCWSTR path) {
    g_deleteFileCalls.push_back(path);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

typedef std::vector<std::wstring> PathList;

class PassTest : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp_.Path().empty());
        g_removeDirCalls.clear();
        g_deleteFileCalls.clear();
    }
    // InstallDir = temp\app\, holding the running program as a real installation does.
    std::wstring MakeInstallDir() {
        std::wstring app = temp_.MakeFolder(L"app");
        EXPECT_TRUE(MakeFile(app + L"\\uninst.exe"));
        SetInstallDir(app);
        return app;
    }
    std::wstring Folder(const std::wstring& relative) { return temp_.MakeFolder(relative); }

    TempFolder temp_;
    FakePassUi ui_;

private:
    ScopedCurrentDirectory current_;  // put back before temp_ goes
    API_GUARD_MEMBER(RemoveDirectory, RecordRemoveDirectory);  // every removal recorded, then made
};

// A text of exactly cch characters naming a folder below C:\ that does not exist.
std::wstring PathOfLength(size_t cch) {
    std::wstring path = L"C:\\uninst-long-";
    while (path.size() < cch) path += (path.size() % 40 == 39) ? L'\\' : L'x';
    if (path.back() == L'\\') path.back() = L'y';
    return path;
}

// --- shortcut files --------------------------------------------------------------------------

TEST_F(PassTest, ShortcutFilesGoFromTheFirstFolderOnly) {
    std::wstring first = Folder(L"first");
    std::wstring second = Folder(L"second");
    ASSERT_TRUE(MakeFile(first + L"\\app.lnk"));
    ASSERT_TRUE(MakeFile(first + L"\\keep.lnk"));
    ASSERT_TRUE(MakeFile(second + L"\\app.lnk"));
    Records records;
    records.Shortcut(0, first, second, L"app.lnk");
    records.Shortcut(0, first, L"", L"");  // a record that only names a folder
    // No folder: the name must not be taken in the current directory.
    records.Shortcut(0, L"", L"", L"app.lnk");
    ASSERT_TRUE(SetCurrentDirectoryW(second.c_str()));

    RemoveShortcutFiles();

    EXPECT_FALSE(Exists(first + L"\\app.lnk"));
    EXPECT_TRUE(Exists(first + L"\\keep.lnk"));
    EXPECT_TRUE(Exists(second + L"\\app.lnk"));
    EXPECT_EQ((std::vector<Logged>{{kRecordShortcut, kRecordRemoval, 0, first + L"\\app.lnk"},
                                   {kRecordShortcut, kRecordSkippedPath, 0, L"app.lnk"}}),
              ui_.log);
}

TEST_F(PassTest, ShortcutFilePathMustFitWorkPath) {
    struct Case {
        const char* name;
        std::wstring folder;
        std::wstring fileName;
        std::wstring deleted;  // empty: nothing may be tried
    };
    const std::wstring folder = PathOfLength(250);
    const std::vector<Case> cases = {
        {"fits", L"C:\\f", L"a.lnk", L"C:\\f\\a.lnk"},
        {"folder ends in a backslash", L"C:\\f\\", L"a.lnk", L"C:\\f\\a.lnk"},
        {"fits exactly", folder, L"12345678", folder + L"\\12345678"},
        {"one too long", folder, L"123456789", L""},
        {"folder alone too long", PathOfLength(260), L"a", L""},
    };
    API_GUARD(DeleteFile, RecordDeleteFileOnly);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_deleteFileCalls.clear();
        ui_.Forget();
        Records records;
        records.Shortcut(0, c.folder, L"", c.fileName);
        RemoveShortcutFiles();
        EXPECT_EQ(c.deleted.empty() ? PathList{} : PathList{c.deleted}, g_deleteFileCalls);
        const Logged logged = c.deleted.empty()
                                  ? Logged{kRecordShortcut, kRecordSkippedPath, 0, c.fileName}
                                  : Logged{kRecordShortcut, kRecordRemoval, ERROR_FILE_NOT_FOUND, c.deleted};
        EXPECT_EQ(std::vector<Logged>{logged}, ui_.log);
    }
}

// --- shortcut folders ------------------------------------------------------------------------

TEST_F(PassTest, ShortcutWalkEndsAtTheProgramsFolder) {
    const std::wstring programs = Resolve(CSIDL_PROGRAMS);
    ASSERT_FALSE(programs.empty());
    Journal made;
    std::wstring vendor = made.Folder(programs + L"\\" + Unique(L"UninstVendor"));
    std::wstring product = made.Folder(vendor + L"\\Product");
    made.File(product + L"\\Product.lnk");
    Records records;
    records.Shortcut(5, product, L"", L"Product.lnk");

    RemoveShortcutFiles();
    RemoveShortcutFolders();

    EXPECT_FALSE(Exists(product));
    EXPECT_FALSE(Exists(vendor));
    EXPECT_TRUE(Exists(programs));
    EXPECT_EQ((PathList{product, vendor}), g_removeDirCalls);
}

TEST_F(PassTest, ShortcutFolderWalks) {
    struct Case {
        const char* name;
        DWORD levels;
        std::wstring first;   // relative to the temp folder; made empty unless holding is set
        std::wstring second;  // the same, or empty
        bool holding;         // first holds another product's shortcut
        PathList tried;       // relative, in order
        PathList remaining;   // relative
    };
    const std::vector<Case> cases = {
        {"levels 0 tries the folder only", 0, L"a\\b", L"", false, {L"a\\b"}, {L"a"}},
        {"a folder with another product's shortcut stays, and so does its parent", 1, L"v\\p", L"", true,
         {L"v\\p", L"v"}, {L"v\\p", L"v"}},
        {"both folders walk up in step", 1, L"s1\\a\\b", L"s2\\c\\d", false,
         {L"s1\\a\\b", L"s2\\c\\d", L"s1\\a", L"s2\\c"}, {L"s1", L"s2"}},
        {"a second folder that is not a full path leaves the record alone", 3, L"w\\x", L"plain", false, {},
         {L"w\\x", L"plain"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_removeDirCalls.clear();
        Folder(c.first);
        if (c.holding) ASSERT_TRUE(MakeFile(temp_.Join(c.first + L"\\Other.lnk")));
        Records records;
        // A relative second folder names a folder of the current directory, the temp folder.
        std::wstring second = c.second;
        if (!second.empty() && second.find(L'\\') != std::wstring::npos) second = Folder(second);
        else if (!second.empty()) Folder(second);
        ASSERT_TRUE(SetCurrentDirectoryW(temp_.Path().c_str()));
        records.Shortcut(c.levels, temp_.Join(c.first), second, L"");

        RemoveShortcutFolders();

        PathList tried;
        for (const std::wstring& path : c.tried)
            tried.push_back(path.find(L'\\') == std::wstring::npos && path == c.second ? path : temp_.Join(path));
        EXPECT_EQ(tried, g_removeDirCalls);
        for (const std::wstring& path : c.remaining) EXPECT_TRUE(Exists(temp_.Join(path))) << Utf8(path);
        for (const std::wstring& path : c.tried)
            if (std::find(c.remaining.begin(), c.remaining.end(), path) == c.remaining.end())
                EXPECT_FALSE(Exists(temp_.Join(path))) << Utf8(path);
    }
}

TEST_F(PassTest, ShortcutFolderThatIsTheCurrentDirectoryIsLeftFirst) {
    for (bool asSecond : {false, true}) {
        SCOPED_TRACE(asSecond ? "second folder" : "first folder");
        std::wstring parent = Folder(asSecond ? L"cd2" : L"cd1");
        std::wstring inner = Folder(std::wstring(asSecond ? L"cd2" : L"cd1") + L"\\inner");
        std::wstring other = Folder(asSecond ? L"other2" : L"other1");
        ASSERT_TRUE(SetCurrentDirectoryW(inner.c_str()));
        Records records;
        if (asSecond)
            records.Shortcut(0, other, inner, L"");
        else
            records.Shortcut(0, inner, L"", L"");

        RemoveShortcutFolders();

        EXPECT_FALSE(Exists(inner));
        EXPECT_EQ(parent, CurrentDirectory());
    }
}

TEST_F(PassTest, ShortcutFolderTextMustFitAPathBuffer) {
    struct Case {
        const char* name;
        std::wstring first;
        std::wstring second;
        PathList tried;
    };
    const std::wstring exact = PathOfLength(259);
    const std::wstring tooLong = PathOfLength(260);
    const std::vector<Case> cases = {
        {"fits exactly", exact, L"", {exact}},
        {"first one too long", tooLong, L"", {}},
        {"second one too long", L"C:\\uninst-short", tooLong, {}},
    };
    API_GUARD(RemoveDirectory, RecordRemoveDirectoryOnly);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_removeDirCalls.clear();
        Records records;
        // With levels left, a cut of the long text would name a shorter folder: never tried.
        ShortcutEntry* entry = records.Shortcut(0, c.first, c.second, L"");
        if (c.tried.empty()) entry->levels = 3;
        RemoveShortcutFolders();
        EXPECT_EQ(c.tried, g_removeDirCalls);
    }
}

// The walk works on expanded copies: the record keeps its texts, and a record whose macro is
// unknown here is left alone.
TEST_F(PassTest, ShortcutFoldersThroughMacros) {
    SetInstallDir(temp_.Path());
    Folder(L"m\\a\\b");
    Folder(L"n\\c");
    ASSERT_TRUE(MakeFile(temp_.Join(L"m\\a\\b\\x.lnk")));
    Records records;
    ShortcutEntry* entry = records.Shortcut(1, L"#installdir#\\m\\a\\b", L"#InstallDir#\\n\\c", L"x.lnk");
    records.Shortcut(1, L"#Nowhere#\\m", L"", L"x.lnk");

    RemoveShortcutFiles();
    RemoveShortcutFolders();

    EXPECT_EQ((PathList{temp_.Join(L"m\\a\\b"), temp_.Join(L"n\\c"), temp_.Join(L"m\\a"), temp_.Join(L"n")}),
              g_removeDirCalls);
    EXPECT_EQ(L"#installdir#\\m\\a\\b", std::wstring(entry->firstFolder));
    EXPECT_EQ(L"#InstallDir#\\n\\c", std::wstring(entry->secondFolder));
    EXPECT_EQ(1u, entry->levels);
}

// --- emptied folders -------------------------------------------------------------------------

TEST_F(PassTest, EmptiedChainGoesUpToTheInstallationFolder) {
    std::wstring app = MakeInstallDir();
    Folder(L"app\\a\\b\\c");
    Records records;
    records.File(L".\\a\\b\\c", L"gone.txt");
    records.File(L".\\a\\b\\c", L"gone-too.txt");  // same folder: skipped, nothing tried twice

    RemoveEmptiedFolders();

    EXPECT_EQ((PathList{app + L"\\a\\b\\c", app + L"\\a\\b", app + L"\\a", app}), g_removeDirCalls);
    EXPECT_FALSE(Exists(app + L"\\a"));
    EXPECT_TRUE(Exists(app + L"\\uninst.exe"));
    EXPECT_EQ(temp_.Path(), CurrentDirectory());
    EXPECT_EQ(app + L"\\", std::wstring(Paths.InstallDir));
}

// A folder that is not empty is tried once for a run of records in it, and again when another
// record's chain came between: that chain may have emptied it.
TEST_F(PassTest, FolderThatStaysIsTriedOncePerRunOfRecords) {
    std::wstring app = MakeInstallDir();
    Folder(L"app\\kept");
    Folder(L"app\\kept\\sub");
    ASSERT_TRUE(MakeFile(app + L"\\kept\\sub\\left.txt"));
    Records records;
    records.File(L".\\kept", L"one.txt");
    records.File(L".\\kept", L"two.txt");
    records.File(L".\\KEPT\\", L"");  // the same folder spelled otherwise
    records.File(L".\\kept\\sub", L"three.txt");
    records.File(L".\\kept", L"four.txt");

    RemoveEmptiedFolders();

    EXPECT_EQ((PathList{app + L"\\kept", app + L"\\kept\\sub", app + L"\\kept"}), g_removeDirCalls);
    EXPECT_TRUE(Exists(app + L"\\kept\\sub\\left.txt"));
}

TEST_F(PassTest, EmptiedFolderOfEachRecord) {
    struct Case {
        const char* name;
        std::wstring directory;  // "@" stands for the temp folder
        std::wstring fileName;
        BYTE flags;
        std::wstring tried;  // the first folder tried ("@" and "=" for InstallDir without backslash); empty: none
    };
    const std::vector<Case> cases = {
        {"dot with a file", L".", L"f.txt", 0, L"="},
        {"dot alone", L".", L"", 0, L"="},
        {"dot and other text", L".x", L"", 0, L"="},
        {"two dots", L"..", L"", 0, L"="},
        {"dot backslash folder", L".\\sub", L"", 0, L"=\\sub"},
        {"dot backslash folder and backslash", L".\\sub\\", L"", 0, L"=\\sub"},
        {"file name with folder parts", L"@\\abs", L"d\\f.txt", 0, L"@\\abs\\d"},
        {"absolute folder record", L"@\\abs\\", L"", 0, L"@\\abs"},
        {"font record", L"@\\fonts", L"f.ttf", kFileFont, L""},
        {"shared font record", L"@\\fonts", L"f.ttf", kFileFont | kFileShared, L""},
        {"no folder at all", L"", L"f.txt", 0, L""},
    };
    std::wstring app = MakeInstallDir();
    auto expand = [&](const std::wstring& text) {
        if (!text.empty() && text[0] == L'@') return temp_.Path() + text.substr(1);
        if (!text.empty() && text[0] == L'=') return app + text.substr(1);
        return text;
    };
    API_GUARD(RemoveDirectory, RecordRemoveDirectoryOnly);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_removeDirCalls.clear();
        Records records;
        records.File(expand(c.directory), c.fileName, c.flags);
        RemoveEmptiedFolders();
        EXPECT_EQ(c.tried.empty() ? PathList{} : PathList{expand(c.tried)}, g_removeDirCalls);
    }
}

TEST_F(PassTest, EmptiedWalkEndsAtProgramFiles) {
    const std::wstring programFiles = Resolve(FOLDER_PROGRAM_FILES);
    ASSERT_FALSE(programFiles.empty());
    Journal made;
    std::wstring vendor = made.Folder(programFiles + L"\\" + Unique(L"UninstVendor"));
    std::wstring app = made.Folder(vendor + L"\\App");
    Records records;
    records.File(app, L"app.exe");

    MakeInstallDir();
    RemoveEmptiedFolders();

    EXPECT_EQ((PathList{app, vendor}), g_removeDirCalls);
    EXPECT_FALSE(Exists(vendor));
    EXPECT_TRUE(Exists(programFiles));
}

TEST_F(PassTest, EmptiedFolderPathMustFitWorkPath) {
    struct Case {
        const char* name;
        std::wstring directory;
        std::wstring fileName;
        std::wstring tried;
    };
    const std::wstring folder = PathOfLength(250);
    std::wstring app = MakeInstallDir();
    // InstallDir + rest of exactly 259 characters, and one more.
    const std::wstring rest(259 - (app.size() + 1), L'r');
    const std::vector<Case> cases = {
        {"fits exactly", folder, L"12345678", folder},
        {"one too long", folder, L"123456789", L""},
        {"folder record fits exactly", PathOfLength(259), L"", PathOfLength(259)},
        {"folder record one too long", PathOfLength(260), L"", L""},
        {"relative fits exactly", L".\\" + rest, L"", app + L"\\" + rest},
        {"relative one too long", L".\\" + rest + L"r", L"", L""},
    };
    API_GUARD(RemoveDirectory, RecordRemoveDirectoryOnly);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_removeDirCalls.clear();
        Records records;
        records.File(c.directory, c.fileName);
        RemoveEmptiedFolders();
        EXPECT_EQ(c.tried.empty() ? PathList{} : PathList{c.tried}, g_removeDirCalls);
    }
}

// --- progress --------------------------------------------------------------------------------

TEST_F(PassTest, PassesReportFromTheirBases) {
    MakeInstallDir();
    Records records;
    records.File(L"C:\\uninst-none\\a", L"");
    records.File(L"C:\\uninst-none\\b", L"f.ttf", kFileFont);  // skipped, and no report
    records.File(L"C:\\uninst-none\\c", L"");
    records.Shortcut(0, L"C:\\uninst-none\\s1", L"", L"s1.lnk");
    records.Shortcut(0, L"", L"", L"");
    API_GUARD(RemoveDirectory, RecordRemoveDirectoryOnly);
    API_GUARD(DeleteFile, RecordDeleteFileOnly);
    Removal.ProgressTotal = 100;  // positions read as percentages

    RemoveShortcutFiles();
    EXPECT_EQ((std::vector<DWORD>{3, 4}), ui_.progress);
    ui_.Forget();
    RemoveShortcutFolders();
    EXPECT_EQ((std::vector<DWORD>{3, 4}), ui_.progress);
    ui_.Forget();
    RemoveEmptiedFolders();
    EXPECT_EQ((std::vector<DWORD>{5, 7}), ui_.progress);
}

}  // namespace
