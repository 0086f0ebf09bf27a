// Long inputs against the fixed buffers, with guard units before and after the three path
// buffers and the message buffer: records whose composed paths are 259, 260 and 300 characters
// long or fill a record's staging area, in every pass that composes a path and in the
// pre-removal command; a 1,100-character message with "%s" and a 1,000-character argument; a
// /D argument longer than WorkPath. What fits is used whole; what does not is left alone (a
// cut path names another file) or, for a message, cut; no unit outside a buffer changes.
// Bounds of 258/259/260 for single operations, the staging limits themselves and the cut of
// messages at 1023 units are covered by the tests of each area.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/message_table.h"
#include "pack/uninst_data.h"
#include "removal/file_pass.h"
#include "removal/folder_pass.h"
#include "removal/shortcut_pass.h"
#include "run/command_line.h"
#include "run/pre_removal.h"
#include "run/session.h"
#include "support/loaded_data.h"
#include "support/member_guard.h"
#include "support/program_test.h"
#include "support/uninst_runner.h"

namespace {

const WCHAR kGuard = 0xA5C3;
const size_t kGuardCch = 64;

// A buffer of cch units with kGuardCch guard units on each side.
class Guarded {
public:
    explicit Guarded(size_t cch) : cch_(cch), units_(kGuardCch + cch + kGuardCch, kGuard) {
        for (size_t i = 0; i < cch; ++i) units_[kGuardCch + i] = 0;
    }
    WCHAR* Buffer() { return units_.data() + kGuardCch; }
    bool Intact() const {
        for (size_t i = 0; i < kGuardCch; ++i)
            if (units_[i] != kGuard || units_[kGuardCch + cch_ + i] != kGuard) return false;
        return true;
    }

private:
    size_t cch_;
    std::vector<WCHAR> units_;
};

// ---- what the passes try ----

std::vector<std::wstring> g_calls;
BOOL WINAPI RecordDeleteFile(LPCWSTR path) {
    g_calls.push_back(std::wstring(L"delete ") + path);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}
BOOL WINAPI RecordRemoveDirectory(LPCWSTR path) {
    g_calls.push_back(std::wstring(L"rmdir ") + path);
    SetLastError(ERROR_DIR_NOT_EMPTY);
    return FALSE;
}
DWORD WINAPI NothingThere(LPCWSTR) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}
BOOL WINAPI StayHere(LPCWSTR) { return TRUE; }

const std::wstring kInstallDir = L"C:\\inst\\";  // 8 characters

std::wstring Path(size_t cch, wchar_t fill) { return L"C:\\" + std::wstring(cch - 3, fill); }

// The path buffers between guard units, checked at the end.
class LongPaths : public ProgramTest {
protected:
    void SetUp() override {
        Paths.InstallDir = install_.Buffer();
        Paths.WorkPath = work_.Buffer();
        Paths.ModulePath = module_.Buffer();
        wcscpy(Paths.InstallDir, kInstallDir.c_str());
        g_calls.clear();
    }
    void TearDown() override {
        EXPECT_TRUE(install_.Intact()) << "InstallDir overrun";
        EXPECT_TRUE(work_.Intact()) << "WorkPath overrun";
        EXPECT_TRUE(module_.Intact()) << "ModulePath overrun";
        EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
    }

    Guarded install_{kPathCapacity}, work_{kPathCapacity}, module_{kPathCapacity};
    API_GUARD_MEMBER(DeleteFile, RecordDeleteFile);
    API_GUARD_MEMBER(RemoveDirectory, RecordRemoveDirectory);
    API_GUARD_MEMBER(GetFileAttributes, NothingThere);
    API_GUARD_MEMBER(SetCurrentDirectory, StayHere);
};

}  // namespace

TEST_F(LongPaths, EveryPassUsesAComposedPathWholeOrNotAtAll) {
    // 525: a file record whose texts fill the staging area (518 units) after InstallDir.
    const size_t lengths[] = {259, 260, 300, 8 + kFileEntryTextLimit - 1};
    for (size_t cch : lengths) {
        SCOPED_TRACE(cch);
        // The one call made when the path fits, for a shortcut or a file record of `folder` and `file`.
        struct Case { const char* name; std::wstring expected; bool shortcut; std::wstring folder, file; void (*pass)(); };
        const std::wstring name(cch - kInstallDir.size(), L'n');
        const std::wstring folder = Path(cch, L'd');
        const std::wstring holder = Path(cch - 6, L'h');  // + "\f.txt"
        const std::wstring links = Path(cch - 8, L's');   // + "\app.lnk"
        const Case cases[] = {
            {"file record under InstallDir", L"delete " + kInstallDir + name, false, L".", name, RemoveInstalledFiles},
            {"folder record", L"rmdir " + folder, false, folder, L"", RemoveInstalledFiles},
            {"folder of a file record", L"rmdir " + holder, false, holder, L"f.txt", RemoveEmptiedFolders},
            {"shortcut file", L"delete " + links + L"\\app.lnk", true, links, L"app.lnk", RemoveShortcutFiles},
            {"shortcut folder", L"rmdir " + folder, true, folder, L"", RemoveShortcutFolders},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            g_calls.clear();
            Records records;
            if (c.shortcut) records.Shortcut(0, c.folder, L"", c.file);
            else records.File(c.folder, c.file);
            c.pass();
            const std::vector<std::wstring> expected =
                cch < kPathCapacity ? std::vector<std::wstring>{c.expected} : std::vector<std::wstring>{};
            EXPECT_EQ(expected.size(), g_calls.size());
            for (size_t i = 0; i < g_calls.size() && i < expected.size(); ++i)
                EXPECT_EQ(Utf8(expected[i]), Utf8(g_calls[i]));
            for (size_t i = expected.size(); i < g_calls.size(); ++i)
                ADD_FAILURE() << "a path that does not fit was used: " << Utf8(g_calls[i].substr(0, 40)) << "...";
            ASSERT_TRUE(work_.Intact() && install_.Intact());
        }
    }
}

TEST_F(LongPaths, CommandIsPreparedWholeOrNotAtAll) {
    for (size_t cch : {259u, 260u, 300u}) {
        SCOPED_TRACE(cch);
        // Unquoted, relative to InstallDir: the whole text is the program.
        const std::wstring text(cch - kInstallDir.size(), L'c');
        PreRemovalCommand command;
        bool prepared = PreparePreRemovalCommand(text.c_str(), Paths.WorkPath, &command);
        EXPECT_EQ(cch < kPathCapacity, prepared);
        if (prepared) EXPECT_EQ(Utf8(kInstallDir + text), Utf8(command.program));
        else EXPECT_EQ(nullptr, command.program) << "a cut program is never named";
        ASSERT_TRUE(work_.Intact());
    }
}

TEST_F(LongPaths, RemovalPathOfAThousandCharactersStaysInWorkPath) {
    const std::wstring argument(1000, L'p');
    const std::wstring line = L"_uins1.exe /D\"" + argument + L"\" /S";
    ParseCommandLine(line.c_str(), Paths.WorkPath);
    EXPECT_EQ(Utf8(argument.substr(0, kPathCapacity - 1)), Utf8(Paths.WorkPath));
    EXPECT_TRUE(Session.RemovalPathCut);
    const std::wstring fits(kPathCapacity - 1, L'p');
    ParseCommandLine((L"_uins1.exe /D\"" + fits + L"\"").c_str(), Paths.WorkPath);
    EXPECT_FALSE(Session.RemovalPathCut);
    EXPECT_EQ(Utf8(fits), Utf8(Paths.WorkPath));
}

using LongMessage = ProgramTest;

TEST_F(LongMessage, ElevenHundredCharactersWithAThousandCharacterArgument) {
    // "%s" at 50: 50 units of text, the argument (1,000), then the rest of the message until
    // the buffer's 1,023 units are full.
    std::wstring text(1100, L't');
    text.replace(50, 2, L"%s");
    const std::wstring argument(1000, L'a');
    WCHAR* entries[] = {&text[0], nullptr};
    Data.MessageTable = entries;
    Guarded buffer(kMessageBufferCch);
    FormatMessageText(buffer.Buffer(), 0, argument.c_str());
    EXPECT_TRUE(buffer.Intact());
    const std::wstring whole = text.substr(0, 50) + argument + text.substr(52);
    EXPECT_EQ(Utf8(whole.substr(0, kMessageBufferCch - 1)), Utf8(buffer.Buffer()));
}

// The program's copy started with a /D path longer than WorkPath: the first 259 characters
// name a real file, which must stay.
TEST(LongRemovalPath, CutPathDeletesNothing) {
    TempFolder dir;
    const std::wstring folder = dir.MakeFolder(L"victim");
    const std::wstring victim = folder + L"\\" + std::wstring(kPathCapacity - 1 - folder.size() - 1, L'v');
    ASSERT_EQ(kPathCapacity - 1, victim.size());
    ASSERT_TRUE(WriteFileBytes(victim, uninstpack::Bytes(4, 'v')));
    const std::wstring copy = dir.Join(L"_uins1.exe");
    ASSERT_TRUE(WriteFileBytes(copy, UninstallerProgram()));
    EXPECT_EQ(0u, RunProgram(copy, L"/D\"" + victim + L"extra\""));
    EXPECT_TRUE(GetFileAttributesW(victim.c_str()) != INVALID_FILE_ATTRIBUTES) << "a cut path was deleted";
    // The same program with the path that fits deletes it at once.
    EXPECT_EQ(0u, RunProgram(copy, L"/D\"" + victim + L"\""));
    EXPECT_FALSE(GetFileAttributesW(victim.c_str()) != INVALID_FILE_ATTRIBUTES);
}
