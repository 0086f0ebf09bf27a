// The data layer: the loader against generated program files (chunk walk, faults, rejections),
// the message table and its formatting, the record lists, and the memory and file operations.
// The loader finds "its own file" through a swapped GetModuleFileName; message boxes are
// recorded through a swapped MessageBox.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/data_locator.h"
#include "data/file_ops.h"
#include "data/install_records.h"
#include "data/memory_ops.h"
#include "data/message_table.h"
#include "data/path_buffer.h"
#include "data/uninstall_data.h"
#include "pack/uninst_data.h"
#include "run/run_sequence.h"
#include "run/ui_windows.h"
#include "support/loader_test.h"
#include "support/uninst_runner.h"

using uninstpack::Bytes;
using uninstpack::EncodeChunk;
using uninstpack::EncodeChunkHeader;

namespace {

const Bytes kTable = EncodeChunk(ChunkTag::MessageTable, uninstpack::EncodeMessageTable(StandardMessages()));
const Bytes kSettings = EncodeChunk(ChunkTag::RunSettings, uninstpack::EncodeRunSettings({}));
const Bytes kEnd = EncodeChunkHeader(ChunkTag::End, 0, 0);

// `stream` followed by an integrity chunk over it, as the authoring tool seals what it writes.
Bytes Sealed(const Bytes& stream) {
    return Cat({stream, EncodeChunk(ChunkTag::Integrity, U32(uninstpack::Crc32(stream.data(), stream.size())))});
}

Bytes Settings(const Bytes& block, uint16_t flags = 0) { return EncodeChunk(ChunkTag::RunSettings, block, flags); }
Bytes Files(const std::vector<uninstpack::FileRecord>& r) { return EncodeChunk(ChunkTag::FileList, uninstpack::EncodeFileList(r)); }
Bytes Registry(const std::vector<uninstpack::RegistryRecord>& r) {
    return EncodeChunk(ChunkTag::RegistryList, uninstpack::EncodeRegistryList(r));
}

const DWORD kProgramPartSize = 40;

class Loader : public LoaderTest {
protected:
    // Writes a program part followed by `stream` and loads it, from nothing loaded and no box shown.
    bool Load(const Bytes& stream) {
        ReleaseUninstallData();
        ShownBoxes.clear();
        EXPECT_TRUE(WriteFileBytes(program_, Cat({Bytes(kProgramPartSize, 'P'), stream})));
        SetDataOffset(kProgramPartSize);
        return LoadUninstallDataOrReport();
    }

    // The one box a failed load shows, with message `number` formatted with the path.
    void ExpectFailureBox(int number) {
        ASSERT_EQ(1u, ShownBoxes.size());
        EXPECT_EQ(FormatWith(StandardMessages()[number], program_), ShownBoxes[0].text);
        EXPECT_EQ(Wide(StandardMessages()[0]), ShownBoxes[0].caption);
        EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), ShownBoxes[0].type);
        EXPECT_EQ(nullptr, ShownBoxes[0].owner);
    }
};

}  // namespace

// ---- the chunk walk ----

TEST_F(Loader, ReadsEveryKindOfRecordAndTheSettings) {
    uninstpack::UninstallData d;
    d.messages = StandardMessages();
    d.files = {{u".", u"", 0}, {u".\\bin", u"app.exe", 0x0B}};
    d.shortcuts = {{2, u"C:\\Menu\\App", u"C:\\Desk", u"App.lnk"}};
    d.registry = {{0x80000002u, u"Software\\Vendor\\\\Value"}};
    d.settings = {kRunWaitForCommand, u"pre.exe /x", u"https://example.invalid/"};
    ASSERT_TRUE(Load(uninstpack::EncodeStream(d)));
    EXPECT_TRUE(ShownBoxes.empty());
    EXPECT_STREQ(program_.c_str(), Paths.ModulePath);

    ASSERT_EQ(2u, Data.FileEntryCount);
    EXPECT_STREQ(L".", Data.FileEntries[0]->directory);
    EXPECT_STREQ(L"", Data.FileEntries[0]->fileName);
    EXPECT_STREQ(L".\\bin", Data.FileEntries[1]->directory);
    EXPECT_STREQ(L"app.exe", Data.FileEntries[1]->fileName);
    EXPECT_EQ(0x0B, Data.FileEntries[1]->flags);
    ASSERT_EQ(1u, Data.ShortcutEntryCount);
    EXPECT_EQ(2u, Data.ShortcutEntries[0]->levels);
    EXPECT_STREQ(L"C:\\Menu\\App", Data.ShortcutEntries[0]->firstFolder);
    EXPECT_STREQ(L"C:\\Desk", Data.ShortcutEntries[0]->secondFolder);
    EXPECT_STREQ(L"App.lnk", Data.ShortcutEntries[0]->fileName);
    ASSERT_EQ(1u, Data.RegistryEntryCount);
    EXPECT_EQ(0x80000002u, Data.RegistryEntries[0]->root);
    EXPECT_STREQ(L"Software\\Vendor\\\\Value", Data.RegistryEntries[0]->path);

    ASSERT_NE(nullptr, Data.RunSettings);
    EXPECT_EQ(kRunWaitForCommand, Data.RunSettings->flags);
    EXPECT_STREQ(L"pre.exe /x", PreRemovalCommandText());
    EXPECT_STREQ(L"https://example.invalid/", FinishPageText());
    EXPECT_STREQ(Wide(StandardMessages()[1]).c_str(), GetMessageText(0, 1));
}

TEST_F(Loader, NoAppendedDataShowsAnEmptyMessage8) {
    // The program part alone, with the offset the build writes: the file's own length.
    ASSERT_TRUE(WriteFileBytes(program_, Bytes(kProgramPartSize, 'P')));
    SetDataOffset(kProgramPartSize);
    EXPECT_FALSE(LoadUninstallDataOrReport());
    ASSERT_EQ(1u, ShownBoxes.size());
    EXPECT_EQ(L"", ShownBoxes[0].text);
    EXPECT_EQ(L"", ShownBoxes[0].caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), ShownBoxes[0].type);
    EXPECT_EQ(nullptr, ShownBoxes[0].owner);
}

TEST_F(Loader, SilentFailuresBeforeTheFileIsRead) {
    const Bytes valid = Cat({kTable, kSettings, kEnd});
    // The program's own path, cut by the buffer's end to 259 units, names a real data file:
    // opening it would read the wrong file.
    std::wstring cutPath = dir_.Join(L"");
    cutPath += std::wstring(kPathCapacity - 1 - cutPath.size(), L'c');
    ASSERT_TRUE(WriteFileBytes(cutPath, Cat({Bytes(kProgramPartSize, 'P'), valid})));

    struct Case { const char* name; DWORD offset; bool moduleFails; std::wstring modulePath; } cases[] = {
        {"data offset 0", 0, false, program_},
        {"module path unavailable", kProgramPartSize, true, program_},
        {"module path cut short", kProgramPartSize, false, cutPath + L".exe"},
        {"file cannot be opened", kProgramPartSize, false, dir_.Join(L"missing.exe")},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileBytes(program_, Cat({Bytes(kProgramPartSize, 'P'), valid})));
        SetDataOffset(c.offset);
        ModuleFileNameFails = c.moduleFails;
        FakeModulePath = c.modulePath;
        ShownBoxes.clear();
        EXPECT_FALSE(LoadUninstallDataOrReport()) << c.name;
        EXPECT_TRUE(ShownBoxes.empty()) << c.name;
        ReleaseUninstallData();
    }
    // The same file loads once the path is whole.
    FakeModulePath = cutPath;
    EXPECT_TRUE(LoadUninstallDataOrReport());
}

TEST_F(Loader, StreamsThatLoad) {
    const Bytes list = Files({{u"d", u"f", 0}});
    struct Case { const char* name; Bytes stream; } cases[] = {
        // Empty chunks of known kinds are passed over; the next header follows at once.
        {"empty known chunks",
         Cat({EncodeChunkHeader(0x1235, 0, 0), kTable, EncodeChunkHeader(0x1234, 0, 0), EncodeChunkHeader(0x123A, 1, 0),
              list, kSettings, EncodeChunkHeader(0x1236, 0, 0), kEnd})},
        // Unknown tags, also those between the known ones, are skipped by their size.
        {"unknown tags",
         Cat({EncodeChunk(0x1238, Bytes(7, 0xEE)), kTable, EncodeChunk(0x1239, U32(0xFFFFFFFF)), list,
              EncodeChunk(0x0000, Bytes(3, 1)), kSettings, EncodeChunk(0xFFFF, Bytes(1, 0)), kEnd})},
        // The end chunk ends the stream whatever its size; its payload and what follows are never read.
        {"end chunk with payload", Cat({kTable, list, kSettings, EncodeChunk(0x7F7F, Bytes(5, 0xAB)), Bytes(3, 0xCD)})},
        {"end chunk with a size past any file", Cat({kTable, list, kSettings, EncodeChunkHeader(0x7F7F, 0, 0xFFFFFFFFFFFFFFFFull)})},
        // A reader that reads less than its chunk: the rest is skipped.
        {"reader reads too little", Cat({kTable, EncodeChunk(0x1235, Cat({uninstpack::EncodeFileList({{u"d", u"f", 0}}), Bytes(9, 0x77)})),
                                         kSettings, kEnd})},
        // Settings first, table last: chunks may come in any order.
        {"any order", Cat({kSettings, list, kTable, kEnd})},
        // The integrity chunk covers what comes before it; what follows it is not covered.
        {"sealed", Cat({Sealed(Cat({kTable, list, kSettings})), kEnd})},
        {"sealed, then more chunks", Cat({Sealed(kTable), list, kSettings, kEnd})},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(Load(c.stream)) << c.name;
        EXPECT_TRUE(ShownBoxes.empty()) << c.name;
        ASSERT_EQ(1u, Data.FileEntryCount) << c.name;
        EXPECT_STREQ(L"f", Data.FileEntries[0]->fileName) << c.name;
        EXPECT_STREQ(Wide(StandardMessages()[0]).c_str(), GetMessageText(0, 0)) << c.name;
    }
}

TEST_F(Loader, AReaderThatReadsTooMuchIsSetBackToTheChunksEnd) {
    // The registry chunk declares only the count and the root; its reader goes on into the next
    // chunk's header (tag 2 read as a length, then the flags and the size's low half as text).
    const Bytes next = Cat({U16(2), U16(u'A'), U32(u'B'), U32(0), Bytes(size_t(u'B'), 0x55)});
    Bytes stream = Cat({kTable, EncodeChunkHeader(0x1237, 0, 8), U32(1), U32(0x80000001u), next, kSettings, kEnd});
    ASSERT_TRUE(Load(stream));
    ASSERT_EQ(1u, Data.RegistryEntryCount);
    EXPECT_EQ(0x80000001u, Data.RegistryEntries[0]->root);
    EXPECT_STREQ(L"AB", Data.RegistryEntries[0]->path);
    EXPECT_NE(nullptr, Data.RunSettings);
}

TEST_F(Loader, DamagedStreamsShowMessage8) {
    struct Case { const char* name; Bytes stream; } cases[] = {
        {"no end chunk", Cat({kTable, kSettings})},
        {"header cut short", Cat({kTable, kSettings, Bytes(kEnd.begin(), kEnd.begin() + 11)})},
        {"chunk size past the file's end", Cat({kTable, kSettings, EncodeChunkHeader(0x4444, 0, 100), kEnd})},
        // With a 32-bit position this would skip 4 bytes and find the rest of the stream.
        {"size with a high half", Cat({kTable, EncodeChunkHeader(0x4444, 0, 0x100000004ull), U32(0), kSettings, kEnd})},
        {"size the file pointer cannot reach", Cat({kTable, EncodeChunkHeader(0x4444, 0, 0x8000000000000004ull), U32(0), kSettings, kEnd})},
        {"size that wraps", Cat({kTable, EncodeChunkHeader(0x4444, 0, 0xFFFFFFFFFFFFFFFFull), kSettings, kEnd})},
        {"refused run settings", Cat({kTable, Settings(uninstpack::EncodeRunSettings({}), 1), kEnd})},
        {"run settings cut short", Cat({kTable, EncodeChunkHeader(0x123A, 0, 12), Bytes(6, 0)})},
        {"record cut short by the file's end", Cat({kTable, EncodeChunkHeader(0x1235, 0, 40), U32(2), U16(1), Units(u"d"), U16(1)})},
        {"a recorded name changed after sealing",
         [&] {
             Bytes stream = Cat({Sealed(Cat({kTable, Files({{u"C:\\App", u"keep.txt", 0}}), kSettings})), kEnd});
             stream[kTable.size() + kChunkHeaderSize + 4 + 2 + 12 + 2] ^= 0x01;  // "keep" -> "jeep"
             return stream;
         }()},
        {"integrity chunk of 3 bytes", Cat({kTable, kSettings, EncodeChunk(ChunkTag::Integrity, Bytes(3, 0)), kEnd})},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Load(c.stream)) << c.name;
        ExpectFailureBox(8);
    }
}

TEST_F(Loader, ALaterRunSettingsChunkReplacesTheEarlierOne) {
    Bytes stream = Cat({kTable, Settings(uninstpack::EncodeRunSettings({0, u"first", std::nullopt})),
                        Settings(uninstpack::EncodeRunSettings({kRunFullVisualStyles, std::nullopt, u"second"})), kEnd});
    ASSERT_TRUE(Load(stream));
    EXPECT_EQ(kRunFullVisualStyles, Data.RunSettings->flags);
    EXPECT_EQ(nullptr, PreRemovalCommandText());
    EXPECT_STREQ(L"second", FinishPageText());
    // The first block was freed at once: only the table's 17 blocks and the second block remain.
    EXPECT_EQ(baseline_ + 17 + 1, Heap.LiveBlockCount);
}

// Blocks the run reads without checks: the loader refuses any it could not use safely.
TEST_F(Loader, RunSettingsBlocks) {
    const Bytes none = U32(0);
    // An empty block: no RunSettings chunk at all.
    struct Case { const char* name; Bytes block; bool loads; const wchar_t* command; } cases[] = {
        {"no run settings chunk", {}, false, nullptr},
        {"11 bytes", Bytes(11, 0), false, nullptr},
        {"12 bytes, no texts", Bytes(12, 0), true, nullptr},
        {"offset inside the header", Cat({none, U32(4), none, Units(u"x"), U16(0)}), false, nullptr},
        {"offset at the block's end", Cat({none, U32(16), none, Units(u"x"), U16(0)}), false, nullptr},
        {"offset past the block", Cat({none, none, U32(400), Units(u"x"), U16(0)}), false, nullptr},
        {"no terminator", Cat({none, U32(12), none, Units(u"xy")}), false, nullptr},
        {"terminator is the last unit", Cat({none, U32(12), none, Units(u"xy"), U16(0)}), true, L"xy"},
        {"empty text at the end", Cat({none, U32(12), none, U16(0)}), true, L""},
        {"odd offset, terminator inside", Cat({none, U32(13), none, Bytes{0}, Units(u"x"), U16(0)}), true, L"x"},
        {"odd offset, terminator one byte short", Cat({none, U32(13), none, Bytes{0}, Units(u"x"), Bytes{0}}), false, nullptr},
        {"finish page without terminator", Cat({none, U32(12), U32(16), Units(u"a"), U16(0), Units(u"b")}), false, nullptr},
    };
    for (const Case& c : cases) {
        bool loaded = Load(Cat({kTable, c.block.empty() ? Bytes{} : Settings(c.block), kEnd}));
        EXPECT_EQ(c.loads, loaded) << c.name;
        if (c.loads) {
            EXPECT_TRUE(ShownBoxes.empty()) << c.name;
            if (c.command) {
                ASSERT_NE(nullptr, PreRemovalCommandText()) << c.name;
                EXPECT_EQ(std::wstring(c.command), std::wstring(PreRemovalCommandText())) << c.name;
            } else {
                EXPECT_EQ(nullptr, PreRemovalCommandText()) << c.name;
            }
        } else {
            ExpectFailureBox(8);
            EXPECT_EQ(nullptr, Data.RunSettings) << c.name;
        }
    }
}

// ---- record lists ----

TEST_F(Loader, ListsJoinAcrossChunksInStreamOrder) {
    Bytes stream = Cat({kTable, Registry({{1, u"r0"}}), Files({{u"a", u"1", 0}, {u"a", u"2", 0}, {u"a", u"3", 0}}), kSettings,
                        Files({{u"b", u"4", 0}, {u"b", u"5", 0}}), Registry({}), kEnd});
    ASSERT_TRUE(Load(stream));
    ASSERT_EQ(5u, Data.FileEntryCount);
    for (DWORD i = 0; i < 5; ++i) EXPECT_EQ(std::wstring(1, L'1' + i), Data.FileEntries[i]->fileName) << i;
    EXPECT_STREQ(L"b", Data.FileEntries[4]->directory);
    // N = 0 leaves the earlier list as it was.
    ASSERT_EQ(1u, Data.RegistryEntryCount);
    EXPECT_STREQ(L"r0", Data.RegistryEntries[0]->path);
}

TEST_F(Loader, RecordTextsBeyondTheStagingAreaAreRefused) {
    auto units = [](size_t n) { return std::u16string(n, u'x'); };
    auto file = [](const std::u16string& dir, const std::u16string& name) {
        return Cat({U32(1), Counted(dir), Counted(name), Bytes{0}});
    };
    auto shortcut = [](const std::u16string& a, const std::u16string& b, const std::u16string& c) {
        return Cat({U32(1), Bytes{0}, Counted(a), Counted(b), Counted(c)});
    };
    auto registry = [](const std::u16string& path) { return Cat({U32(1), U32(1), Counted(path)}); };
    struct Case { const char* name; uint16_t tag; Bytes payload; bool loads; } cases[] = {
        {"file, fits", 0x1235, file(units(300), units(100)), true},
        {"file, fits exactly", 0x1235, file(units(300), units(218)), true},
        {"file, one too long", 0x1235, file(units(300), units(219)), false},
        {"file, one text too long", 0x1235, file(units(519), u""), false},
        {"shortcut, fits exactly", 0x1236, shortcut(units(700), units(70), units(7)), true},
        {"shortcut, one too long", 0x1236, shortcut(units(700), units(70), units(8)), false},
        {"registry, fits exactly", 0x1237, registry(units(519)), true},
        {"registry, one too long", 0x1237, registry(units(520)), false},
        {"registry, longest length field", 0x1237, registry(units(0xFFFF)), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.loads, Load(Cat({kTable, EncodeChunk(c.tag, c.payload), kSettings, kEnd}))) << c.name;
        DWORD count = c.tag == 0x1235   ? Data.FileEntryCount
                      : c.tag == 0x1236 ? Data.ShortcutEntryCount
                                        : Data.RegistryEntryCount;
        EXPECT_EQ(c.loads ? 1u : 0u, count) << c.name;
        if (!c.loads) ExpectFailureBox(8);
    }
}

TEST_F(Loader, RecordCountsTooLargeForThePointerArray) {
    // One readable record follows each count: a wrapped array size would let it be stored
    // past the array's end.
    const Bytes file = Cat({U16(1), Units(u"d"), U16(1), Units(u"f"), Bytes{0}});
    const Bytes shortcut = Cat({Bytes{0}, U16(1), Units(u"s"), U16(0), U16(0)});
    const Bytes registry = Cat({U32(1), U16(1), Units(u"r")});
    struct Case { const char* name; Bytes stream; int message; DWORD files, shortcuts, registry; } cases[] = {
        // 0x40000000 pointers need 4 GiB: the size would wrap to 0.
        {"array size wraps", Cat({kTable, EncodeChunk(0x1235, Cat({U32(0x40000000), file})), kSettings, kEnd}), 8, 0, 0, 0},
        {"largest count", Cat({kTable, EncodeChunk(0x1236, Cat({U32(0xFFFFFFFF), shortcut})), kSettings, kEnd}), 8, 0, 0, 0},
        {"wraps only with the earlier records",
         Cat({kTable, Registry({{1, u"a"}, {1, u"b"}}), EncodeChunk(0x1237, Cat({U32(0x3FFFFFFF), registry})), kSettings, kEnd}), 8, 0, 0, 2},
        // Addressable, but no heap has room for it.
        {"array cannot be allocated", Cat({kTable, EncodeChunk(0x1235, Cat({U32(0x3FFFFFFF), file})), kSettings, kEnd}), 7, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Load(c.stream)) << c.name;
        ExpectFailureBox(c.message);
        EXPECT_EQ(c.files, Data.FileEntryCount) << c.name;
        EXPECT_EQ(c.shortcuts, Data.ShortcutEntryCount) << c.name;
        EXPECT_EQ(c.registry, Data.RegistryEntryCount) << c.name;
    }
}

TEST_F(Loader, AFailedLoadKeepsWhatItReadReleasable) {
    // Two good records, then one whose text runs past the file's end.
    Bytes stream = Cat({kTable, Files({{u"x", u"1", 0}}), EncodeChunkHeader(0x1235, 0, 100), U32(3), U16(1), Units(u"a"),
                        U16(1), Units(u"2"), Bytes{0}, U16(1), Units(u"b"), U16(1), Units(u"3"), Bytes{0}, U16(50)});
    EXPECT_FALSE(Load(stream));
    ExpectFailureBox(8);
    EXPECT_EQ(3u, Data.FileEntryCount);
    EXPECT_STREQ(L"3", Data.FileEntries[2]->fileName);
    // TearDown checks that ReleaseUninstallData frees all of it.
}

// ---- the message table ----

TEST_F(Loader, MessageTablePayloads) {
    auto table = [](uint16_t t, const std::vector<std::u16string>& m) {
        Bytes p = Cat({U16(t), U16(uint16_t(m.size()))});
        for (const auto& s : m) p = Cat({p, U16(uint16_t(s.size())), Units(s)});
        return EncodeChunk(0x1234, p);
    };
    // T = 3: only the first table is read, the others are skipped with the payload's rest.
    Bytes three = table(3, {u"zero", u"", u"two"});
    three = Cat({EncodeChunkHeader(0x1234, 0, three.size() - 12 + 6), Bytes(three.begin() + 12, three.end()), U16(1), U16(1), Units(u"X")});
    ASSERT_TRUE(Load(Cat({three, kSettings, kEnd})));
    struct Lookup { int table, number; const wchar_t* text; } lookups[] = {
        {0, 0, L"zero"}, {0, 1, L""}, {0, 2, L"two"}, {0, 3, L""}, {0, -1, L""}, {0, 0x7FFFFFFF, L""},
        {1, 0, L""},     {2, 0, L""}, {-1, 0, L""},
    };
    for (const Lookup& l : lookups) EXPECT_STREQ(l.text, GetMessageText(l.table, l.number)) << l.table << "/" << l.number;

    // A later table replaces an earlier one; n = 0 and T = 0 leave it as it was.
    ASSERT_TRUE(Load(Cat({table(1, {u"old", u"x"}), kSettings, table(1, {u"new"}), table(1, {}), EncodeChunk(0x1234, U16(0)), kEnd})));
    EXPECT_STREQ(L"new", GetMessageText(0, 0));
    EXPECT_STREQ(L"", GetMessageText(0, 1));

    // With n = 0 there is no table: every lookup, caption included, is empty.
    EXPECT_FALSE(Load(Cat({table(1, {}), kSettings})));
    ASSERT_EQ(1u, ShownBoxes.size());
    EXPECT_EQ(L"", ShownBoxes[0].caption);
    EXPECT_EQ(L"", ShownBoxes[0].text);
    EXPECT_STREQ(L"", GetMessageText(0, 0));
}

namespace {

// A message table of the test's own: message 0 is the text under test.
class Formatting : public ProgramTest {
protected:
    void Use(const std::wstring& text) {
        text_ = text;
        entries_[0] = &text_[0];
        entries_[1] = nullptr;
        Data.MessageTable = entries_;
    }
    std::wstring Format(const WCHAR* argument) {
        std::vector<WCHAR> buffer(kMessageBufferCch + 1, L'#');
        FormatMessageText(buffer.data(), 0, argument);
        EXPECT_EQ(L'#', buffer[kMessageBufferCch]) << "wrote past the buffer";
        return buffer.data();
    }

    std::wstring text_;
    WCHAR* entries_[2] = {};
};

}  // namespace

TEST_F(Formatting, OnlyTheFirstPercentSIsAnArgument) {
    struct Case { const wchar_t* text; const wchar_t* expected; } cases[] = {
        {L"Damaged: %s", L"Damaged: C:\\u.exe"},
        {L"%s", L"C:\\u.exe"},
        {L"100%% sure", L"100%% sure"},  // no "%s": copied as it stands
        {L"%s is 100%% gone", L"C:\\u.exe is 100% gone"},
        {L"%%s then %s", L"%s then C:\\u.exe"},  // as printf reads it
        {L"%s and %s", L"C:\\u.exe and %s"},
        {L"%d %n %ls %s %x", L"%d %n %ls C:\\u.exe %x"},  // never a format for printf
        {L"%S %", L"%S %"},
        {L"50%", L"50%"},
        {L"%s 50%", L"C:\\u.exe 50%"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        Use(c.text);
        EXPECT_EQ(std::wstring(c.expected), Format(L"C:\\u.exe")) << c.text;
    }
    Use(L"[%s]");
    EXPECT_EQ(L"[]", Format(nullptr));
    Data.MessageTable = nullptr;
    EXPECT_EQ(L"", Format(L"C:\\u.exe"));  // no table: the empty text
}

TEST_F(Formatting, LongResultsAreCutTo1023Units) {
    struct Case { const char* name; std::wstring text, argument; size_t length; } cases[] = {
        {"text fits", std::wstring(1022, L't'), L"", 1022},
        {"text fits exactly", std::wstring(1023, L't'), L"", 1023},
        {"text one too long", std::wstring(1024, L't'), L"", 1023},
        {"argument fits exactly", L"ab%s", std::wstring(1021, L'a'), 1023},
        {"argument one too long", L"ab%s", std::wstring(1022, L'a'), 1023},
        {"argument then text", L"%s and more", std::wstring(1020, L'a'), 1023},
        {"doubled percents past the end", L"%s" + std::wstring(2100, L'%'), L"", 1023},
    };
    for (const Case& c : cases) {
        Use(c.text);
        std::wstring out = Format(c.argument.c_str());
        EXPECT_EQ(c.length, out.size()) << c.name;
    }
    Use(L"ab%s");
    EXPECT_EQ(L"ab" + std::wstring(1021, L'a'), Format(std::wstring(1022, L'a').c_str()));
}

using MessageBoxes = Formatting;

TEST_F(MessageBoxes, OwnedByTheMainWindowWithMessage0AsCaption) {
    API_GUARD(MessageBox, RecordMessageBox);
    Use(L"Caption");
    ShownBoxes.clear();
    BoxAnswer = IDRETRY;
    Screen.MainWindow = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(IDRETRY, ShowMessage(L"Body", MB_RETRYCANCEL | MB_ICONINFORMATION));
    BoxAnswer = IDOK;
    ASSERT_EQ(1u, ShownBoxes.size());
    EXPECT_EQ(reinterpret_cast<HWND>(0x1234), ShownBoxes[0].owner);
    EXPECT_EQ(L"Body", ShownBoxes[0].text);
    EXPECT_EQ(L"Caption", ShownBoxes[0].caption);
    EXPECT_EQ(UINT(0x45), ShownBoxes[0].type);
}

// ---- memory, file operations and the locator ----

TEST(MemoryOps, BlocksAreCountedAndAFailedResizeKeepsTheBlock) {
    const LONG before = Heap.LiveBlockCount;
    BYTE* zeroed = nullptr;
    ASSERT_TRUE(AllocZeroed(64, &zeroed));
    for (int i = 0; i < 64; ++i) ASSERT_EQ(0, zeroed[i]);
    zeroed[63] = 0x5A;
    ASSERT_TRUE(ResizeBlock(4096, &zeroed));
    EXPECT_EQ(0x5A, zeroed[63]);
    EXPECT_EQ(before + 1, Heap.LiveBlockCount);

    BYTE* kept = zeroed;
    EXPECT_FALSE(ResizeBlock(static_cast<SIZE_T>(-64), &zeroed));
    EXPECT_EQ(kept, zeroed);
    EXPECT_EQ(0x5A, zeroed[63]);

    void* huge = reinterpret_cast<void*>(1);
    EXPECT_FALSE(AllocBlock(static_cast<SIZE_T>(-64), &huge));
    EXPECT_EQ(nullptr, huge);
    EXPECT_FALSE(AllocZeroed(static_cast<SIZE_T>(-64), &huge));
    EXPECT_EQ(before + 1, Heap.LiveBlockCount);

    void* fresh = nullptr;
    ASSERT_TRUE(ResizeBlock(16, &fresh));  // a null block is allocated
    FreeBlock(&fresh);
    FreeBlock(&zeroed);
    EXPECT_EQ(nullptr, zeroed);
    FreeBlock(&zeroed);  // nothing to free
    EXPECT_EQ(before, Heap.LiveBlockCount);
}

namespace {
DWORD SeenShare = 0xFFFF, SeenDisposition = 0;
HANDLE WINAPI RecordCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                               DWORD attributes, HANDLE tmpl) {
    SeenShare = share;
    SeenDisposition = disposition;
    return CreateFileW(path, access, share, sa, disposition, attributes, tmpl);
}
}  // namespace

TEST(FileOps, OpenReadWriteAndPositions) {
    TempFolder dir;
    const std::wstring path = dir.Join(L"data.bin");
    ASSERT_TRUE(WriteFileBytes(path, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    API_GUARD(CreateFile, RecordCreateFile);

    HANDLE reader = OpenExistingFile(path.c_str(), GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_EQ(DWORD(FILE_SHARE_READ), SeenShare);
    EXPECT_EQ(DWORD(OPEN_EXISTING), SeenDisposition);
    BYTE buffer[16] = {};
    EXPECT_TRUE(ReadExact(reader, buffer, 4));
    EXPECT_EQ(4, buffer[3]);
    EXPECT_EQ(4u, GetFilePos(reader));
    EXPECT_EQ(10, GetFileSize32(reader));
    EXPECT_EQ(4u, GetFilePos(reader));  // the size is learnt without moving
    EXPECT_EQ(8u, SetFilePos(reader, 8));
    EXPECT_FALSE(ReadExact(reader, buffer, 4));  // only two bytes left
    EXPECT_EQ(0x100000000ull, SetFilePos(reader, 0x100000000ull));
    EXPECT_EQ(kInvalidFilePos, SetFilePos(reader, 0x8000000000000000ull));
    EXPECT_FALSE(WriteExact(reader, buffer, 1));  // not opened for writing
    EXPECT_TRUE(CloseFile(reader));

    HANDLE writer = OpenExistingFile(path.c_str(), GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(0u, SeenShare);  // exclusive while writing
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenExistingFile(path.c_str(), GENERIC_READ));
    EXPECT_TRUE(WriteExact(writer, "abc", 3));
    EXPECT_TRUE(CloseFile(writer));

    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenExistingFile(dir.Join(L"missing").c_str(), GENERIC_READ));
    EXPECT_FALSE(ReadExact(INVALID_HANDLE_VALUE, buffer, 1));
}

using DataLocatorField = ProgramTest;

TEST_F(DataLocatorField, OffsetIsTheLittleEndianWordAfterTheMarker) {
    SetDataOffset(0x11223344);
    const unsigned char expected[kDataLocatorSize] = {'w', 'w', 'g', 'T', ')', 'H', 0x44, 0x33, 0x22, 0x11};
    for (size_t i = 0; i < kDataLocatorSize; ++i) {
        unsigned char actual = DataLocator[i];
        EXPECT_EQ(expected[i], actual) << i;
    }
    EXPECT_EQ(0x11223344u, DataOffset());
}
