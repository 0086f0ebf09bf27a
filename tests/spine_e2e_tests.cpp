// End-to-end runs of the real uninst.exe: how a run ends, and what it shows, with valid,
// damaged and missing appended data; plus the file holder that later tests rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/uninst_runner.h"
#include "support/window_driver.h"

using uninstpack::Bytes;

namespace {

Bytes FirstBytes(const Bytes& bytes, size_t count) { return Bytes(bytes.begin(), bytes.begin() + count); }

Bytes MessagesChunk() {
    return uninstpack::EncodeChunk(ChunkTag::MessageTable, uninstpack::EncodeMessageTable(StandardMessages()));
}

Bytes SettingsChunk(uint16_t chunkFlags = 0) {
    return uninstpack::EncodeChunk(ChunkTag::RunSettings,
                                   uninstpack::EncodeRunSettings(uninstpack::RunSettingsBlock{}), chunkFlags);
}

Bytes EndChunk() { return uninstpack::EncodeChunkHeader(ChunkTag::End, 0, 0); }

// Starts `exe`, expects the loader's message box (caption `caption`, text `text`, no owner, a
// single OK button) as the only window of the run, answers it with OK and returns the exit code.
DWORD RunExpectingLoaderBox(const std::wstring& exe, const std::wstring& caption, const std::wstring& text) {
    ChildProcess child;
    if (!child.Start(exe, L"", /*watch*/ true)) return kExitKilled;
    HWND box = WaitForMessageBox(child.Id(), child.Handle());
    if (!box) {
        ADD_FAILURE() << "no message box appeared";
        return child.Wait();
    }
    EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER)) << "the loader runs before the main window exists";
    EXPECT_EQ(std::vector<int>{IDOK}, VisibleButtonIds(box)) << DescribeWindow(box);
    EXPECT_TRUE(AnswerBox(box, IDOK));
    DWORD exitCode = child.Wait();
    EXPECT_EQ(std::vector<std::wstring>{ShownWindow(kDialogClass, caption, text)}, child.Watch().shown);
    return exitCode;
}

// Runs `exe` with `options` to its end and expects that it showed no window at any moment.
DWORD RunShowingNothing(const std::wstring& exe, const std::wstring& options) {
    ChildProcess child;
    if (!child.Start(exe, options, /*watch*/ true)) return kExitKilled;
    DWORD exitCode = child.Wait();
    EXPECT_EQ(std::vector<std::wstring>{}, child.Watch().shown);
    return exitCode;
}

}  // namespace

TEST(QuietRun, ValidDataEndsWithZeroAndShowsNothing) {
    const wchar_t* const options[] = {L"/S", L"-x"};
    TempFolder dir;
    std::wstring exe = dir.Join(L"uninst.exe");
    ASSERT_TRUE(WriteUninstaller(exe, uninstpack::EncodeStream(StandardData())));
    for (const wchar_t* option : options) {
        SCOPED_TRACE(testing::Message() << "options " << std::string(option, option + wcslen(option)));
        EXPECT_EQ(0u, RunShowingNothing(exe, option));
    }
}

TEST(DamagedData, ShowsMessage8WithOwnPathAndEndsWithMinusOne) {
    Bytes whole = uninstpack::EncodeStream(StandardData());
    ASSERT_EQ(EndChunk(), Bytes(whole.end() - kChunkHeaderSize, whole.end()));
    Bytes settings = SettingsChunk();
    ASSERT_GT(settings.size(), kChunkHeaderSize + 4);

    struct Case { const char* name; Bytes stream; };
    const Case cases[] = {
        {"end chunk missing", FirstBytes(whole, whole.size() - kChunkHeaderSize)},
        {"cut inside the run-settings payload", Cat({MessagesChunk(), FirstBytes(settings, settings.size() - 4)})},
        {"no run-settings chunk", Cat({MessagesChunk(), EndChunk()})},
        {"run-settings chunk with flag bit 0", Cat({MessagesChunk(), SettingsChunk(kChunkRefused), EndChunk()})},
    };
    const std::wstring title = Wide(StandardMessages()[0]);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        std::wstring exe = dir.Join(L"uninst.exe");
        ASSERT_TRUE(WriteUninstaller(exe, c.stream));
        EXPECT_EQ(kExitFailure, RunExpectingLoaderBox(exe, title, FormatWith(StandardMessages()[8], exe)));
    }
}

// Data as the authoring tool seals them: a changed letter that turns the recorded "ours.txt"
// into "ouss.txt", another program's file, is damage: message 8, and nothing is removed. The
// same data intact remove their own file only.
TEST(DamagedData, AChangedLetterUnderTheSealShowsMessage8AndRemovesNothing) {
    TempFolder dir;
    const std::wstring ours = dir.Join(L"ours.txt"), other = dir.Join(L"ouss.txt");
    uninstpack::UninstallData data = StandardData();
    data.files.push_back({Utf16(dir.Path()), u"ours.txt", 0});
    const Bytes sealed = uninstpack::EncodeSealedStream(data);
    const Bytes name = {'o', 0, 'u', 0, 'r', 0, 's', 0, '.', 0};
    const auto at = std::search(sealed.begin(), sealed.end(), name.begin(), name.end());
    ASSERT_NE(sealed.end(), at);
    Bytes damaged = sealed;
    damaged[(at - sealed.begin()) + 4] ^= 'r' ^ 's';

    const std::wstring exe = dir.Join(L"uninst.exe");
    ASSERT_TRUE(WriteFileBytes(ours, Bytes{'x'}));
    ASSERT_TRUE(WriteFileBytes(other, Bytes{'x'}));
    ASSERT_TRUE(WriteUninstaller(exe, damaged));
    EXPECT_EQ(kExitFailure, RunExpectingLoaderBox(exe, Wide(StandardMessages()[0]), FormatWith(StandardMessages()[8], exe)));
    EXPECT_TRUE(Exists(ours));
    EXPECT_TRUE(Exists(other));

    ASSERT_TRUE(WriteUninstaller(exe, sealed));
    EXPECT_EQ(0u, RunProgram(exe, L"/S"));
    EXPECT_FALSE(Exists(ours));
    EXPECT_TRUE(Exists(other));
}

TEST(MissingData, NoAppendedDataShowsEmptyBoxAndEndsWithMinusOne) {
    // The built-in data offset is the program's own length, so the first header read finds
    // nothing, before any message table: caption and text are both empty.
    TempFolder dir;
    std::wstring exe = dir.Join(L"uninst.exe");
    ASSERT_TRUE(WriteFileBytes(exe, UninstallerProgram()));
    EXPECT_EQ(kExitFailure, RunExpectingLoaderBox(exe, L"", L""));
}

TEST(MissingData, DataOffsetZeroEndsWithMinusOneAndShowsNothing) {
    TempFolder dir;
    std::wstring exe = dir.Join(L"uninst.exe");
    Bytes program = UninstallerProgram();
    ASSERT_TRUE(uninstpack::SetDataOffset(program, 0));
    ASSERT_TRUE(WriteFileBytes(exe, Cat({program, uninstpack::EncodeStream(StandardData())})));

    EXPECT_EQ(kExitFailure, RunShowingNothing(exe, L""));
}

// hold_file is started by later tests to stand for a running application; it must really keep
// others out while it holds the file, and let go when told.
TEST(TestBench, HoldFileKeepsOthersOutUntilReleased) {
    TempFolder dir;
    std::wstring path = dir.Join(L"held.dll");
    ASSERT_TRUE(WriteFileBytes(path, Bytes(64, 0x11)));
    // Asks for full sharing, so only the holder's own share mode can refuse the open.
    auto openError = [&](DWORD access) {
        HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return error;
    };
    {
        HeldFile held;
        ASSERT_TRUE(held.Hold(path));
        EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, openError(GENERIC_READ));
        held.Release();
        EXPECT_EQ((DWORD)ERROR_SUCCESS, openError(GENERIC_READ | GENERIC_WRITE));
    }
    {
        HeldFile held;
        ASSERT_TRUE(held.Hold(path, L"r"));
        EXPECT_EQ((DWORD)ERROR_SUCCESS, openError(GENERIC_READ));
        EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, openError(GENERIC_WRITE));
    }
}

// The log of a partial removal (/S, a log path with blanks, a file with a line already in it):
// a line for each record with what became of it (a record of an unknown macro skipped, a key of
// Windows kept), and the counts at the end. Appended, so the old line stays and no second
// byte-order mark comes.
TEST(RunLog, NamesWhatBecameOfEachRecord) {
    TempFolder dir;
    const std::wstring app = dir.MakeFolder(L"App"), shared = app + L"\\shared.dll";
    const std::wstring log = dir.MakeFolder(L"log folder") + L"\\run log.txt";
    const std::wstring key = L"Software\\uninst-log-test-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(WriteFileBytes(shared, Bytes(8, 'x')) && WriteFileBytes(app + L"\\user.txt", Bytes(8, 'x')));
    ASSERT_TRUE(WriteFileBytes(log, Bytes{'o', 'l', 'd', '\r', '\n'}));
    Journal made;
    made.SetNumber(HKEY_CURRENT_USER, key, L"v", 2);
    SharedCount count(shared);
    ASSERT_TRUE(count.Set(2));
    uninstpack::UninstallData data = StandardData();
    data.files = {{Utf16(app), u"", 0}, {Utf16(app), u"shared.dll", kFileShared}, {Utf16(app), u"gone.txt", 0},
                  {u"#Nowhere#", u"stray.txt", 0}};
    data.registry = {{0x80000001, Utf16(key)}, {0x80000002, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"}};
    const std::wstring exe = dir.Join(L"uninst.exe");
    ASSERT_TRUE(WriteUninstaller(exe, uninstpack::EncodeStream(data)));

    EXPECT_EQ(0u, RunProgram(exe, L"/S /L \"" + log + L"\""));
    EXPECT_EQ(std::optional<DWORD>(1), count.Get()) << "the count the log gives";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << "the key the log gives as removed";
    Bytes bytes = ReadFileBytes(log);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(0u, text.find("old\r\n")) << text;
    for (const std::wstring& line : {L"file kept: shared, count now 1: " + shared,
                                     L"file not there: " + app + L"\\gone.txt",
                                     L"folder kept: holds other files: " + app, L"key removed: HKCU\\" + key,
                                     std::wstring(L"file skipped: macro: #Nowhere#"),
                                     std::wstring(L"key kept: protected: HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")})
        EXPECT_NE(std::string::npos, text.find(" " + Utf8(line) + "\r\n")) << Utf8(line) << "\n" << text;
    const std::string end = " end: 1 removed, 1 not there, 3 kept, 0 failed, 1 skipped, 0 scheduled; incomplete\r\n";
    EXPECT_EQ(text.size() - end.size(), text.rfind(end)) << text;
    EXPECT_EQ(std::string::npos, text.find("\xEF\xBB\xBF")) << text;
}

// A log that cannot be opened, or must not be written through, changes nothing: the run removes
// its file and ends with 0, and no file is created or written.
TEST(RunLog, UnusablePathChangesNothing) {
    TempFolder dir;
    const std::wstring readOnly = dir.Join(L"read-only.log"), linked = dir.Join(L"linked.log");
    ASSERT_TRUE(WriteFileBytes(readOnly, Bytes{'k'}) && SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteFileBytes(linked, Bytes{'k'}) &&
                CreateHardLinkW(dir.Join(L"second.log").c_str(), linked.c_str(), nullptr));
    uninstpack::UninstallData data = StandardData();
    data.files = {{Utf16(dir.Path()), u"ours.txt", 0}};
    const std::wstring exe = dir.Join(L"uninst.exe");
    ASSERT_TRUE(WriteUninstaller(exe, uninstpack::EncodeStream(data)));
    for (const std::wstring& log : {dir.Path(), dir.Join(L"no folder\\u.log"), readOnly, linked}) {
        SCOPED_TRACE(Utf8(log));
        ASSERT_TRUE(WriteFileBytes(dir.Join(L"ours.txt"), Bytes{'x'}));
        EXPECT_EQ(0u, RunProgram(exe, L"/S /LOG=\"" + log + L"\""));
        EXPECT_FALSE(Exists(dir.Join(L"ours.txt")));
    }
    EXPECT_FALSE(Exists(dir.Join(L"no folder")));
    EXPECT_EQ(Bytes{'k'}, ReadFileBytes(readOnly));
    EXPECT_EQ(Bytes{'k'}, ReadFileBytes(linked));
}
