// End-to-end removal scenarios: realistic installations of two products laid into the prefix by
// the test, then the real uninst.exe run over one of them. Listings of drive_c and of the
// registry taken before and after show that exactly the installation went: nothing of the other
// product, of the system, or of a protected folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "folders/protected_folders.h"
#include "support/installation.h"
#include "support/snapshot.h"
#include "support/uninst_runner.h"

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";

struct ShellFolders {
    std::wstring programFiles, commonFiles, system, commonPrograms, userPrograms, commonDesktop, userDesktop,
        startup;
};

ShellFolders Shell() {
    auto folder = [](int csidl) {
        std::wstring path = ShellFolder(csidl | CSIDL_FLAG_CREATE);
        EXPECT_FALSE(path.empty()) << "no shell folder " << csidl;
        return path.empty() ? std::wstring(L"C:\\missing-shell-folder") : path;
    };
    return {folder(CSIDL_PROGRAM_FILES), folder(CSIDL_PROGRAM_FILES_COMMON), folder(CSIDL_SYSTEM),
            folder(CSIDL_COMMON_PROGRAMS), folder(CSIDL_PROGRAMS), folder(CSIDL_COMMON_DESKTOPDIRECTORY),
            folder(CSIDL_DESKTOPDIRECTORY), folder(CSIDL_STARTUP)};
}

// Keys every Windows system has; a new prefix may lack some. They are made once, before any
// listing, and left: no installation owns them.
void MakeSystemKeys() {
    for (const wchar_t* path : {kSharedDllsPath, kUninstallKey, kRunKey, kAppPathsKey})
        ASSERT_TRUE(MakeKey(HKEY_LOCAL_MACHINE, path));
}

// The first product: a few hundred files in nested folders, shared runtime files, a read-only
// license, Start-menu, desktop and startup shortcuts, and keys and values in HKLM, HKCU and HKCR.

const wchar_t kNotesShared[] = L"hnspell.dll";      // shared, counted once: asked about
const wchar_t kNotesUncounted[] = L"hnlegacy.ocx";  // shared, never counted: asked about
const wchar_t* const kPlugins[] = {L"calendar", L"charts",  L"clipper", L"export", L"ink",
                                   L"markdown", L"outline", L"search",  L"spell",  L"tables"};

void LayNotes(Installer& in, const ShellFolders& shell) {
    in.Folder(L"");
    in.File(L"", L"notes.exe", 90000);
    in.File(L"", L"readme.txt", 3000);
    in.File(L"", L"license.txt", 5000, FILE_ATTRIBUTE_READONLY);
    in.Folder(L"bin");
    for (int i = 0; i < 20; ++i) in.File(L"bin", L"hn" + std::to_wstring(10 + i) + L".dll", 2000 + i * 37);
    in.Folder(L"plugins");
    for (const wchar_t* plugin : kPlugins) {
        std::wstring dir = std::wstring(L"plugins\\") + plugin;
        in.Folder(dir);
        in.File(dir, L"plugin.dll", 1500);
        in.File(dir, L"plugin.xml", 300);
        for (const wchar_t* lang : {L"en", L"de", L"fr", L"es"}) in.File(dir + L"\\locales\\" + lang, L"strings.txt", 700);
    }
    for (const wchar_t* kind : {L"letters", L"reports", L"notes", L"lists"})
        for (int i = 0; i < 15; ++i) in.File(std::wstring(L"templates\\") + kind, L"template" + std::to_wstring(i) + L".hnt", 400);
    for (int chapter = 1; chapter <= 10; ++chapter)
        for (int page = 0; page < 8; ++page)
            in.File(L"docs\\html\\chapter" + std::to_wstring(chapter), L"page" + std::to_wstring(page) + L".html", 800);
    for (int i = 0; i < 25; ++i) in.File(L"docs\\images", L"figure" + std::to_wstring(i) + L".png", 1200);
    for (const wchar_t* size : {L"16", L"24", L"32", L"48"})
        for (int i = 0; i < 15; ++i) in.File(std::wstring(L"resources\\icons\\") + size, L"icon" + std::to_wstring(i) + L".ico", 600);

    // Shared with the second product, which counted them first; and two only this one uses.
    std::wstring vendorCommon = shell.commonFiles + L"\\Quillsoft";
    in.OutsideFile(vendorCommon, L"qsruntime.dll", kFileShared, true);
    in.OutsideFile(vendorCommon, L"qsnet.dll", kFileShared, true);
    in.OutsideFile(vendorCommon, kNotesUncounted, kFileShared, false);
    in.OutsideFile(shell.system, kNotesShared, kFileShared, true);

    std::wstring menu = shell.commonPrograms + L"\\Quillsoft\\Harbor Notes";
    std::wstring userMenu = shell.userPrograms + L"\\Quillsoft\\Harbor Notes";
    for (const wchar_t* name : {L"Harbor Notes.lnk", L"Read Me.lnk", L"User Guide.lnk", L"Uninstall Harbor Notes.lnk"})
        in.Shortcut(1, menu, L"", name);
    in.Shortcut(2, menu + L"\\Tools", L"", L"Spell Checker.lnk");
    in.Shortcut(2, menu + L"\\Tools", L"", L"Template Editor.lnk");
    in.Shortcut(1, userMenu, L"", L"Quick Note.lnk");
    in.Shortcut(1, menu, userMenu, L"");
    in.Shortcut(0, shell.commonDesktop, L"", L"Harbor Notes.lnk");
    in.Shortcut(0, shell.userDesktop, L"", L"Quick Note.lnk");
    in.Shortcut(2, shell.startup, L"", L"Harbor Notes Tray.lnk");

    // Values in keys that stay (the Run key; the second product's provider list, whose default
    // value this product claims), then whole keys.
    std::wstring exe = in.InstallDir() + L"\\notes.exe";
    in.SetText(kHKLM, kRunKey, L"Harbor Notes Tray", exe + L" /tray");
    in.ValueRecord(kHKLM, kRunKey, L"Harbor Notes Tray");
    in.SetText(kHKLM, L"Software\\Harbor Sync\\Providers", L"Notes", exe);
    in.ValueRecord(kHKLM, L"Software\\Harbor Sync\\Providers", L"Notes");
    in.SetText(kHKLM, L"Software\\Harbor Sync\\Providers", L"", L"Notes");
    in.ValueRecord(kHKLM, L"Software\\Harbor Sync\\Providers", L"");

    std::wstring appPath = std::wstring(kAppPathsKey) + L"\\notes.exe";
    in.SetText(kHKLM, appPath, L"", exe);
    in.SetText(kHKLM, appPath, L"Path", in.InstallDir());
    in.KeyRecord(kHKLM, appPath);
    for (const wchar_t* extension : {L".hnote", L".hnt", L".hntx"}) {
        in.SetText(kHKCR, extension, L"", L"HarborNotes.Document");
        in.SetText(kHKCR, std::wstring(extension) + L"\\ShellNew", L"NullFile", L"");
        in.KeyRecord(kHKCR, extension);
    }
    in.SetText(kHKCR, L"HarborNotes.Document", L"", L"Harbor Notes document");
    in.SetText(kHKCR, L"HarborNotes.Document\\DefaultIcon", L"", exe + L",1");
    in.SetText(kHKCR, L"HarborNotes.Document\\shell\\open\\command", L"", L"\"" + exe + L"\" \"%1\"");
    in.SetText(kHKCR, L"HarborNotes.Document\\shell\\print\\command", L"", L"\"" + exe + L"\" /p \"%1\"");
    in.KeyRecord(kHKCR, L"HarborNotes.Document");
    for (const wchar_t* plugin : kPlugins) {
        std::wstring progId = std::wstring(L"HarborNotes.Plugin.") + plugin;
        in.SetText(kHKCR, progId, L"", plugin);
        in.SetText(kHKCR, progId + L"\\CurVer", L"", progId + L".1");
        in.KeyRecord(kHKCR, progId);
    }
    for (const wchar_t* plugin : kPlugins)
        in.SetNumber(kHKLM, std::wstring(L"Software\\Harbor Notes\\Plugins\\") + plugin, L"Enabled", 1);
    in.SetText(kHKLM, L"Software\\Harbor Notes", L"InstallDir", in.InstallDir());
    in.KeyRecord(kHKLM, L"Software\\Harbor Notes");
    std::wstring uninstallEntry = std::wstring(kUninstallKey) + L"\\Harbor Notes";
    in.SetText(kHKLM, uninstallEntry, L"DisplayName", L"Harbor Notes 4.2");
    in.SetText(kHKLM, uninstallEntry, L"UninstallString", in.InstallDir() + L"\\uninst.exe");
    in.SetNumber(kHKLM, uninstallEntry, L"NoModify", 1);
    in.KeyRecord(kHKLM, uninstallEntry);
    // The user's settings come last and are the largest tree, so the registry stretch of the
    // progress bar ends with a long record.
    for (int i = 0; i < 40; ++i) {
        std::wstring sub = L"Software\\Harbor Notes\\Documents\\Recent" + std::to_wstring(i);
        in.SetText(kHKCU, sub, L"Path", L"C:\\users\\notes\\doc" + std::to_wstring(i) + L".hnote");
        in.SetNumber(kHKCU, sub + L"\\Window", L"Left", i * 10);
    }
    in.KeyRecord(kHKCU, L"Software\\Harbor Notes");
}

// The second product, installed before the first, with absolute records. It shares the
// vendor's runtime files and the vendor's Start-menu folder with the first.
void LaySync(Installer& in, const ShellFolders& shell) {
    const std::wstring& dir = in.InstallDir();
    // Its author marked it a 64-bit product; on a 32-bit system that changes nothing.
    in.Data().settings.flags = kRun64BitApplication;
    auto file = [&](const std::wstring& folder, const std::wstring& name) {
        in.Made().File(folder + L"\\" + name, 2500);
        in.Data().files.push_back({Utf16(folder), Utf16(name), 0});
    };
    in.Data().files.push_back({Utf16(dir), u"", 0});
    file(dir, L"sync.exe");
    for (int i = 0; i < 12; ++i) file(dir + L"\\lib", L"hs" + std::to_wstring(i) + L".dll");
    for (const wchar_t* lang : {L"en", L"de", L"fr"}) file(dir + L"\\lang\\" + lang, L"sync.txt");
    std::wstring vendorCommon = shell.commonFiles + L"\\Quillsoft";
    in.OutsideFile(vendorCommon, L"qsruntime.dll", kFileShared, true);
    in.OutsideFile(vendorCommon, L"qsnet.dll", kFileShared, true);
    in.Shortcut(1, shell.commonPrograms + L"\\Quillsoft\\Harbor Sync", L"", L"Harbor Sync.lnk");
    in.Shortcut(0, shell.commonDesktop, L"", L"Harbor Sync.lnk");

    std::wstring exe = dir + L"\\sync.exe";
    in.SetText(kHKLM, kRunKey, L"Harbor Sync", exe);
    in.ValueRecord(kHKLM, kRunKey, L"Harbor Sync");
    in.SetText(kHKLM, L"Software\\Harbor Sync", L"InstallDir", dir);
    in.SetText(kHKLM, L"Software\\Harbor Sync\\Providers", L"Calendar", exe);
    in.KeyRecord(kHKLM, L"Software\\Harbor Sync");
    in.SetText(kHKCU, L"Software\\Harbor Sync\\Accounts\\Default", L"Server", L"sync.example.org");
    in.KeyRecord(kHKCU, L"Software\\Harbor Sync");
    std::wstring uninstallEntry = std::wstring(kUninstallKey) + L"\\Harbor Sync";
    in.SetText(kHKLM, uninstallEntry, L"DisplayName", L"Harbor Sync 1.3");
    in.KeyRecord(kHKLM, uninstallEntry);
}

// A run killed by the emulator's time bound leaves its installations behind, and the next
// listing would count them as the system's own. Only the scenarios' own names are removed.
void RemoveLeftovers(const ShellFolders& shell) {
    for (const std::wstring& path :
         {shell.programFiles + L"\\Harbor Notes", shell.programFiles + L"\\Harbor Sync",
          shell.programFiles + L"\\Guard Scenario", shell.commonFiles + L"\\Quillsoft",
          shell.commonPrograms + L"\\Quillsoft", shell.userPrograms + L"\\Quillsoft",
          shell.commonDesktop + L"\\Harbor Notes.lnk", shell.commonDesktop + L"\\Harbor Sync.lnk",
          shell.userDesktop + L"\\Quick Note.lnk", shell.startup + L"\\Harbor Notes Tray.lnk",
          shell.system + L"\\" + kNotesShared})
        RemoveTree(path);
    const std::wstring keys[] = {L"Software\\Harbor Notes", L"Software\\Harbor Sync",
                                 std::wstring(kAppPathsKey) + L"\\notes.exe",
                                 std::wstring(kUninstallKey) + L"\\Harbor Notes",
                                 std::wstring(kUninstallKey) + L"\\Harbor Sync"};
    for (const std::wstring& key : keys) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    }
    for (const wchar_t* key : {L".hnote", L".hnt", L".hntx", L"HarborNotes.Document"})
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    for (const wchar_t* plugin : kPlugins)
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"HarborNotes.Plugin.") + plugin).c_str());
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Harbor Notes Tray");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Harbor Sync");
    for (const std::wstring& shared :
         {shell.commonFiles + L"\\Quillsoft\\qsruntime.dll", shell.commonFiles + L"\\Quillsoft\\qsnet.dll",
          shell.commonFiles + L"\\Quillsoft\\" + kNotesUncounted, shell.system + L"\\" + kNotesShared})
        SetSharedCount(shared, std::nullopt);
}

// The bench the scenarios stand on, able to fail: a listing sees a folder, a file, a key and a
// value come and change, and the journal puts the prefix back as it found it, the value it
// changed and the file made read-only since included.
TEST(TestBench, ListingSeesEveryChangeAndTheJournalUndoesIt) {
    const std::wstring name = L"uninst-bench-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring folder = L"C:\\" + name, key = L"Software\\" + name;
    const std::string file = "f " + Utf8(Lower(folder)) + "\\notes.txt";
    // Any line of `differences` that starts with `start` and holds `part`.
    auto has = [](const std::string& differences, const std::string& start, const std::string& part) {
        for (size_t at = 0, end; (end = differences.find('\n', at)) != std::string::npos; at = end + 1)
            if (differences.compare(at, start.size(), start) == 0 && differences.substr(at, end - at).find(part) != std::string::npos)
                return true;
        return false;
    };
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, key, L"Kept", L"before"));
    const Listing before = TakeListing();
    {
        Journal journal;
        journal.File(folder + L"\\notes.txt", 10);
        journal.SetText(HKEY_CURRENT_USER, key, L"Kept", L"after");
        journal.SetNumber(HKEY_CURRENT_USER, key + L"\\New", L"Count", 1);
        const Listing made = TakeListing();
        const std::string differences = Differences(before, made);
        EXPECT_TRUE(has(differences, "unexpected: f " + Utf8(Lower(folder)) + " = folder", "")) << differences;
        EXPECT_TRUE(has(differences, "unexpected: " + file + " = file 10 0", "")) << differences;
        EXPECT_TRUE(has(differences, "changed: v ", Utf8(name) + " \"Kept\"")) << differences;
        EXPECT_TRUE(has(differences, "unexpected: v ", Utf8(name) + "\\\\New \"Count\"")) << differences;
        ASSERT_TRUE(SetFileAttributesW((folder + L"\\notes.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ("changed: " + file + " = file 10 0 -> file 10 1\n", Differences(made, TakeListing()));
    }
    EXPECT_EQ("", Differences(before, TakeListing())) << "the journal left the prefix changed";
    DeleteTree(HKEY_CURRENT_USER, key);
}

// ---- The scenarios ----------------------------------------------------------------------------

class RemovalScenario : public ::testing::Test {
protected:
    void SetUp() override {
        MakeSystemKeys();
        shell_ = Shell();
        RemoveLeftovers(shell_);
    }
    std::wstring NotesDir() const { return shell_.programFiles + L"\\Harbor Notes"; }
    std::wstring SyncDir() const { return shell_.programFiles + L"\\Harbor Sync"; }

    ShellFolders shell_;
    Journal journal_;
};

void ExpectRemovalOfNotes(const RunLog& log, const ShellFolders& shell, const std::wstring& notesDir) {
    EXPECT_EQ(0u, log.exitCode);
    EXPECT_TRUE(log.unexpected.empty()) << (log.unexpected.empty() ? "" : log.unexpected.front());
    std::vector<std::wstring> askedShared = {shell.system + L"\\" + kNotesShared,
                                             shell.commonFiles + L"\\Quillsoft\\" + kNotesUncounted};
    EXPECT_EQ(Sorted(askedShared), Sorted(log.sharedAsked)) << Describe(log.sharedAsked);
    EXPECT_EQ(Sorted({notesDir + L"\\license.txt"}), Sorted(log.readOnlyAsked)) << Describe(log.readOnlyAsked);
}

// The bar, every position it was set to: forward only, except where the shortcut-folder pass
// sweeps the shortcut stretch again, and full at the end.
void ExpectSoundProgress(const RunLog& log, const uninstpack::UninstallData& data) {
    const DWORD files = (DWORD)data.files.size(), shortcuts = (DWORD)data.shortcuts.size();
    const DWORD total = (DWORD)data.registry.size() + 2 * files + shortcuts;
    const DWORD sweepLow = files * 100 / total, sweepHigh = (files + shortcuts - 1) * 100 / total;
    ASSERT_FALSE(log.positions.empty());
    int backwards = 0;
    for (size_t i = 1; i < log.positions.size(); ++i) {
        EXPECT_LE(log.positions[i], 100u);
        if (log.positions[i] >= log.positions[i - 1]) continue;
        ++backwards;
        EXPECT_TRUE(log.positions[i - 1] <= sweepHigh && log.positions[i] >= sweepLow)
            << "back from " << log.positions[i - 1] << " to " << log.positions[i] << " outside the shortcut stretch "
            << sweepLow << " to " << sweepHigh;
    }
    EXPECT_LE(backwards, 1) << "only the shortcut-folder pass sweeps its stretch again";
    EXPECT_EQ(100u, log.positions.back()) << "the full bar just before the dialog closes";
    // Before that, the bar never claims more than the registry stretch's last record.
    for (size_t i = 0; i + 1 < log.positions.size(); ++i) EXPECT_LE(log.positions[i], (total - 1) * 100 / total);
}

// The first product goes quietly and again, reinstalled, with the user's confirmation; each
// time the second keeps all it has. Once the second goes too the prefix is as it was before
// either was installed. Quiet runs still ask the file pass's questions.
TEST_F(RemovalScenario, EachInstallationGoesExactlyQuietlyOrConfirmed) {
    const Listing before = TakeListing();
    Installer sync(journal_, SyncDir());
    LaySync(sync, shell_);
    std::wstring syncExe = sync.WriteProgram();
    const Listing withSync = TakeListing();
    std::wstring notesExe;
    {
        Installer notes(journal_, NotesDir());
        LayNotes(notes, shell_);
        notesExe = notes.WriteProgram();
        ASSERT_FALSE(HasFailure());

        RunLog log = DriveRun(notesExe, L"/S");
        EXPECT_FALSE(log.confirmation || log.progressDialog || log.notice) << "a quiet run shows none of these";
        ExpectRemovalOfNotes(log, shell_, NotesDir());
        Listing expected = withSync;
        ExpectPath(expected, NotesDir());
        ExpectPath(expected, notesExe);
        EXPECT_EQ("", Differences(expected, TakeListing())) << "after the first product's quiet removal";
        ASSERT_TRUE(DeleteFileW(notesExe.c_str()));
        ASSERT_TRUE(RemoveDirectoryW(NotesDir().c_str()));
    }
    {
        Installer notes(journal_, NotesDir());
        LayNotes(notes, shell_);
        notesExe = notes.WriteProgram();
        ASSERT_FALSE(HasFailure());

        RunLog log = DriveRun(notesExe, L"");
        EXPECT_TRUE(log.confirmation && log.progressDialog && log.notice);
        ExpectRemovalOfNotes(log, shell_, NotesDir());
        EXPECT_EQ((std::vector<int>{11, 12, 13, 14}), log.stages) << "stage texts in the order set";
        ExpectSoundProgress(log, notes.Data());
        // The self-removal copy removes the uninstaller and its folder once the run has ended.
        EXPECT_TRUE(WaitForGone(NotesDir())) << "the self-removal leaves no installation folder";
        EXPECT_EQ("", Differences(withSync, TakeListing())) << "after the first product's confirmed removal";
    }

    RunLog log = DriveRun(syncExe, L"/S");
    EXPECT_EQ(0u, log.exitCode);
    std::vector<std::wstring> lastUse = {shell_.commonFiles + L"\\Quillsoft\\qsruntime.dll",
                                         shell_.commonFiles + L"\\Quillsoft\\qsnet.dll"};
    EXPECT_EQ(Sorted(lastUse), Sorted(log.sharedAsked)) << "the last user of a shared file is asked";
    EXPECT_TRUE(log.readOnlyAsked.empty());
    Listing expected = before;
    ExpectPath(expected, SyncDir());
    ExpectPath(expected, syncExe);
    EXPECT_EQ("", Differences(expected, TakeListing())) << "after both removals";
}

// Records naming the drive root, the Windows directory and every protected folder, as folder
// records (emptied by the run or not), as the folders of removed files, and as shortcut folders
// with levels to spare, remove none of them; what the records put inside them goes.
TEST_F(RemovalScenario, ProtectedFoldersAndTheDriveRootStay) {
    std::vector<std::wstring> guarded;
    auto add = [&](const std::wstring& folder) {
        const std::wstring path = WithoutBackslash(folder);
        for (const std::wstring& known : guarded)
            if (Lower(known) == Lower(path)) return;
        guarded.push_back(path);
    };
    for (int i = 0; i < ProtectedFolderCount; ++i) {
        WCHAR path[MAX_PATH];
        if (ResolveProtectedFolder(i, path)) add(path);
    }
    ASSERT_NE(L"", WindowsFolder());
    add(WindowsFolder());
    ASSERT_GE(guarded.size(), 20u) << "the protected folders should resolve in the prefix";

    Installer in(journal_, shell_.programFiles + L"\\Guard Scenario");
    const wchar_t kFile[] = L"guard-scenario.tmp";
    // A folder in the profiles root is a profile, and one in a profile is protected too.
    const std::wstring profile = ShellFolder(CSIDL_PROFILE);
    const std::wstring profiles = Lower(profile.substr(0, profile.rfind(L'\\')));
    std::vector<std::wstring> goes, stays;
    for (size_t i = 0; i < guarded.size(); ++i) {
        const std::wstring& folder = guarded[i];
        journal_.Folder(folder);  // a folder this prefix lacks is made, so its removal would show
        in.OutsideFile(folder, kFile, 0, false);
        goes.push_back(folder + L"\\" + kFile);
        for (const std::wstring& named : {folder, folder + L"\\", Upper(folder)})
            in.Data().files.push_back({Utf16(named), u"", 0});
        in.Shortcut(3, folder, guarded[(i + 1) % guarded.size()], L"");
        in.Shortcut(5, folder + L"\\Guard Scenario Sub", L"", L"");
        bool inProfiles = Lower(folder) == profiles || Lower(folder.substr(0, folder.rfind(L'\\'))) == profiles;
        (inProfiles ? stays : goes).push_back(folder + L"\\Guard Scenario Sub");
    }
    journal_.File(L"C:\\guard-scenario.tmp", 100);
    goes.push_back(L"C:\\guard-scenario.tmp");
    in.Data().files.push_back({u"C:\\", u"guard-scenario.tmp", 0});
    in.Data().files.push_back({u"C:\\", u"", 0});
    in.Data().files.push_back({u"C:", u"", 0});
    in.Shortcut(5, L"C:\\Guard Scenario Sub", L"", L"");
    goes.push_back(L"C:\\Guard Scenario Sub");
    in.Data().shortcuts.push_back({2, u"C:\\", u"", u""});
    std::wstring exe = in.WriteProgram();
    ASSERT_FALSE(HasFailure());

    // The run's log says what the program made of a path that stays where it should have gone.
    TempFolder logDir;
    RunLog log = DriveRun(exe, L"/S /L \"" + logDir.Join(L"run.log") + L"\"");
    const uninstpack::Bytes logBytes = ReadFileBytes(logDir.Join(L"run.log"));
    const std::string logged(logBytes.begin(), logBytes.end());
    EXPECT_EQ(0u, log.exitCode);
    EXPECT_TRUE(log.sharedAsked.empty() && log.readOnlyAsked.empty() && log.unexpected.empty());
    // Only the record of a drive without a backslash is skipped; nothing fails.
    EXPECT_NE(std::string::npos, logged.find(" 0 failed, 1 skipped,")) << logged;
    EXPECT_TRUE(Exists(L"C:\\"));
    for (const std::wstring& folder : guarded) EXPECT_TRUE(Exists(folder)) << Utf8(folder);
    for (const std::wstring& path : stays) EXPECT_TRUE(Exists(path)) << Utf8(path);
    for (const std::wstring& path : goes)
        EXPECT_FALSE(Exists(path)) << Utf8(path) << " should have gone; the log:\n" << logged;
}

// A key, or a key, two backslashes and a value's name, as a registry record names it.
bool KeyThere(uint32_t root, const std::wstring& path) {
    size_t pair = path.find(L"\\\\");
    return pair == std::wstring::npos ? KeyExists(RootKey(root), path)
                                      : ValueExists(RootKey(root), path.substr(0, pair), path.substr(pair + 2));
}

// Data from another writer: records naming Windows' folders and keys in other spellings, beside
// the product's own. The silent run leaves all of Windows' and removes all of the product's.
TEST_F(RemovalScenario, DisguisedWindowsFoldersAndKeysStayTheProductsGo) {
    Installer in(journal_, shell_.programFiles + L"\\Guard Scenario");
    auto& records = in.Data();
    const std::wstring profile = ShellFolder(CSIDL_PROFILE), documents = ShellFolder(CSIDL_COMMON_DOCUMENTS);
    const std::wstring other = profile.substr(0, profile.rfind(L'\\')) + L"\\guard-scenario-user";
    WCHAR games[MAX_PATH];
    ASSERT_GT(GetShortPathNameW((profile + L"\\Saved Games").c_str(), games, MAX_PATH), 0u);
    std::wstring slashed = ShellFolder(CSIDL_PERSONAL);
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    const std::wstring windowsFolders[][2] = {
        {documents, documents + L"."}, {shell_.commonDesktop, shell_.commonDesktop + L" "},
        {ShellFolder(CSIDL_PERSONAL), slashed + L"/"}, {profile + L"\\Favorites", profile + L"\\Links\\..\\Favorites"},
        {profile + L"\\Links", L"\\\\?\\" + profile + L"\\Links"}, {profile + L"\\Contacts", Upper(profile) + L"\\CONTACTS"},
        {profile + L"\\Saved Games", games}, {other + L"\\Favorites", other + L"\\Favorites."}, {other + L"2", other + L"2"},
        {ShellFolder(CSIDL_FONTS), ShellFolder(CSIDL_FONTS) + L"."},
    };
    for (const auto& folder : windowsFolders) {
        journal_.Folder(folder[0]);
        ASSERT_TRUE(PathIsDirectoryEmptyW(folder[0].c_str())) << Utf8(folder[0]) << " must be empty, or its removal would not show";
        records.files.push_back({Utf16(folder[1]), u"", 0});
    }
    const std::wstring productFolders[] = {documents + L"\\Guard Scenario Notes",
                                           profile + L"\\Favorites\\Guard Scenario Links", other + L"\\Favorites\\Guard"};
    for (const std::wstring& folder : productFolders) {
        journal_.Folder(folder);
        records.files.push_back({Utf16(folder), u"", 0});
    }
    in.Shortcut(2, shell_.commonDesktop + L".", L"", L"");

    // Windows' values are set again as they are, so the journal puts them back after a faulty run.
    const std::wstring run = std::wstring(kRunKey), guid = L"CLSID\\{6E2B4F31-8C0A-4D5E-9F17-3A2B1C0D4E5F}";
    const std::wstring env = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const std::wstring winlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::wstring eventLog = L"System\\CurrentControlSet\\Services\\Eventlog\\Application";
    for (const auto& [root, key, name] : {std::tuple{kHKLM, env, L"PATH"}, {kHKLM, env, L"ComSpec"},
                                          {kHKLM, winlogon, L"Shell"}, {kHKCU, std::wstring(L"Environment"), L"TEMP"}}) {
        const std::wstring data = ReadText(RootKey(root), key, name);
        ASSERT_NE(L"", data) << Utf8(key) << " " << Utf8(name);
        in.SetText(root, key, name, data);
    }
    in.SetText(kHKCU, L"Software\\Classes\\exefile\\shell\\open\\command", L"", L"\"%1\" %*");
    in.SetText(kHKCR, L"Directory\\shell\\GuardScenarioOpen\\command", L"", L"guard.exe \"%1\"");
    in.SetText(kHKCR, guid + L"\\InprocServer32", L"", L"guard.dll");
    in.SetText(kHKCR, L".guardscenario", L"", L"GuardScenario.Document");
    in.SetText(kHKLM, std::wstring(kUninstallKey) + L"\\Guard Scenario", L"DisplayName", L"Guard Scenario");
    in.SetText(kHKLM, L"System\\CurrentControlSet\\Services\\GuardScenarioSvc", L"ImagePath", L"guard.exe");
    in.SetText(kHKLM, eventLog + L"\\GuardScenario", L"EventMessageFile", L"guard.dll");
    in.SetText(kHKLM, run, L"GuardScenarioTray", L"guard.exe");
    in.SetText(kHKLM, env, L"GUARDSCENARIO_HOME", L"C:\\guard");
    const std::pair<uint32_t, std::wstring> windowsKeys[] = {
        {kHKCU, L"software\\CLASSES\\ExeFile"}, {kHKCR, L"Directory\\shell"}, {kHKLM, L"SOFTWARE\\" + run.substr(9)},
        {kHKLM, L"System\\CurrentControlSet\\Services\\EventLog\\Application"}, {kHKLM, env + L"\\\\PATH"},
        {kHKLM, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\ENVIRONMENT\\\\ComSpec"},
        {kHKLM, winlogon + L"\\\\Shell"}, {kHKCU, L"Environment\\\\TEMP"},
    };
    const std::pair<uint32_t, std::wstring> productKeys[] = {
        {kHKCR, L"Directory\\shell\\GuardScenarioOpen"}, {kHKLM, L"Software\\Classes\\" + guid}, {kHKCR, L".guardscenario"},
        {kHKLM, std::wstring(kUninstallKey) + L"\\Guard Scenario"},
        {kHKLM, L"System\\CurrentControlSet\\Services\\GuardScenarioSvc"}, {kHKLM, eventLog + L"\\GuardScenario"},
        {kHKLM, run + L"\\\\GuardScenarioTray"}, {kHKLM, env + L"\\\\GUARDSCENARIO_HOME"},
    };
    for (const auto& key : windowsKeys) records.registry.push_back({key.first, Utf16(key.second)});
    for (const auto& key : productKeys) records.registry.push_back({key.first, Utf16(key.second)});
    std::wstring exe = in.WriteProgram();
    ASSERT_FALSE(HasFailure());

    RunLog log = DriveRun(exe, L"/S");
    EXPECT_EQ(0u, log.exitCode);
    for (const auto& folder : windowsFolders) EXPECT_TRUE(Exists(folder[0])) << Utf8(folder[1]);
    for (const std::wstring& folder : productFolders) EXPECT_FALSE(Exists(folder)) << Utf8(folder);
    for (const auto& key : windowsKeys) EXPECT_TRUE(KeyThere(key.first, key.second)) << Utf8(key.second);
    for (const auto& key : productKeys) EXPECT_FALSE(KeyThere(key.first, key.second)) << Utf8(key.second);
}

}  // namespace
