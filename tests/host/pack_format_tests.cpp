// Byte layout of the writer against hand-written golden vectors, the data locator, the writer's
// refusals, and the checking reader (round trips and damaged streams with their offsets).
#include "pack/uninst_data.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>
#include <string>

using namespace uninstpack;

namespace {

// "35 12 01 00" -> bytes; blanks and '|' are only for reading.
Bytes H(const char* hex) {
    std::string digits;
    for (const char* p = hex; *p; ++p)
        if (std::isxdigit(static_cast<unsigned char>(*p))) digits += *p;
    EXPECT_EQ(digits.size() % 2, 0u) << "odd number of hex digits in " << hex;
    Bytes out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(PayloadLayout, MessageTable) {
    EXPECT_EQ(EncodeMessageTable({}), H("0100 0000"));
    EXPECT_EQ(EncodeMessageTable({u"Ab", u"", u"%s"}),
              H("0100 0300 | 0200 4100 6200 | 0000 | 0200 2500 7300"));
    // A unit above 0xFF and a surrogate pair: each unit little-endian, the pair counts as two.
    EXPECT_EQ(EncodeMessageTable({u"\u00E9\U0001F600"}), H("0100 0100 | 0300 E900 3DD8 00DE"));
}

TEST(PayloadLayout, FileList) {
    EXPECT_EQ(EncodeFileList({}), H("00000000"));
    EXPECT_EQ(EncodeFileList({{u".", u"a.dll", 0x05}, {u"C:\\D", u"", 0}}),
              H("02000000"
                "| 0100 2E00 | 0500 6100 2E00 6400 6C00 6C00 | 05"
                "| 0400 4300 3A00 5C00 4400 | 0000 | 00"));
}

TEST(PayloadLayout, ShortcutList) {
    EXPECT_EQ(EncodeShortcutList({{2, u"C:\\S", u"", u"x.lnk"}}),
              H("01000000 | 02 | 0400 4300 3A00 5C00 5300 | 0000 | 0500 7800 2E00 6C00 6E00 6B00"));
}

TEST(PayloadLayout, RegistryList) {
    EXPECT_EQ(EncodeRegistryList({{0x80000002u, u"K\\\\V"}, {0x80000001u, u""}}),
              H("02000000 | 02000080 0400 4B00 5C00 5C00 5600 | 01000080 0000"));
}

TEST(PayloadLayout, RunSettings) {
    struct Case {
        const char* name;
        RunSettingsBlock block;
        const char* golden;
    } cases[] = {
        {"none", {}, "00000000 00000000 00000000"},
        {"both", {kRunWaitForCommand, u"a", u"ht"}, "01000000 0C000000 10000000 | 6100 0000 | 6800 7400 0000"},
        {"finish only", {kRunFullVisualStyles, std::nullopt, u"u"}, "02000000 00000000 0C000000 | 7500 0000"},
        {"empty command", {0, u"", std::nullopt}, "00000000 0C000000 00000000 | 0000"},
    };
    for (const Case& c : cases) EXPECT_EQ(EncodeRunSettings(c.block), H(c.golden)) << c.name;
}

TEST(ChunkLayout, HeaderCarriesTagFlagsAndBothSizeHalves) {
    EXPECT_EQ(EncodeChunkHeader(0x1235, 1, 0x0000000100000002ull), H("3512 0100 02000000 01000000"));
    EXPECT_EQ(EncodeChunkHeader(ChunkTag::End, 0, 0), H("7F7F 0000 00000000 00000000"));
    EXPECT_EQ(EncodeChunk(ChunkTag::RunSettings, H("AABB"), 1), H("3A12 0100 02000000 00000000 AABB"));
    EXPECT_EQ(EncodeChunk(0x4242, {}), H("4242 0000 00000000 00000000"));
}

TEST(StreamLayout, ChunksInFixedOrderEndingWithEmptyEnd) {
    UninstallData d;
    d.messages = {u"T"};
    d.files = {{u".", u"f", kFileInUseCheck}};
    d.registry = {{0x80000001u, u"S"}};
    d.settings.flags = 3;
    EXPECT_EQ(EncodeStream(d), H("3412 0000 08000000 00000000 | 0100 0100 0100 5400"
                                 "3512 0000 0D000000 00000000 | 01000000 0100 2E00 0100 6600 08"
                                 "3612 0000 04000000 00000000 | 00000000"
                                 "3712 0000 0C000000 00000000 | 01000000 01000080 0100 5300"
                                 "3A12 0000 0C000000 00000000 | 03000000 00000000 00000000"
                                 "7F7F 0000 00000000 00000000"));
}

TEST(WriterRefuses, TextsTheUninstallerCannotTake) {
    auto units = [](size_t n) { return std::u16string(n, u'x'); };
    // Staging limits: fits, fits exactly, one too long.
    EXPECT_NO_THROW(EncodeFileList({{units(300), units(200), 0}}));
    EXPECT_NO_THROW(EncodeFileList({{units(300), units(218), 0}}));
    EXPECT_THROW(EncodeFileList({{units(300), units(219), 0}}), std::length_error);
    EXPECT_NO_THROW(EncodeShortcutList({{0, units(700), units(70), units(7)}}));
    EXPECT_THROW(EncodeShortcutList({{0, units(700), units(70), units(8)}}), std::length_error);
    EXPECT_NO_THROW(EncodeRegistryList({{1, units(519)}}));
    EXPECT_THROW(EncodeRegistryList({{1, units(520)}}), std::length_error);
    // The u16 length field of a message, and the u16 message count.
    EXPECT_NO_THROW(EncodeMessageTable({units(0xFFFF)}));
    EXPECT_THROW(EncodeMessageTable({units(0x10000)}), std::length_error);
    EXPECT_THROW(EncodeMessageTable(std::vector<std::u16string>(0x10000)), std::length_error);
    // A zero unit would end a run-settings text early.
    EXPECT_THROW(EncodeRunSettings({0, std::u16string(u"a\0b", 3), std::nullopt}), std::invalid_argument);
}

TEST(DataLocator, FoundOnlyWhenTheMarkerOccursOnceWithRoomForTheOffset) {
    const Bytes marker = H("77 77 67 54 29 48");
    const Bytes offset = H("00000000");
    struct Case {
        const char* name;
        Bytes program;
        std::optional<size_t> expected;
    } cases[] = {
        {"absent", H("00 01 02 03 04 05 06 07 08 09 0A"), std::nullopt},
        {"once", Cat({H("AA BB"), marker, offset, H("CC")}), 2},
        {"once, offset ends the file", Cat({H("AA"), marker, offset}), 1},
        {"once, offset cut short", Cat({H("AA"), marker, H("000000")}), std::nullopt},
        {"twice", Cat({marker, offset, marker, offset}), std::nullopt},
        {"overlapping start", Cat({H("77 77"), marker, offset}), 2},
        {"marker less one byte", Cat({H("77 77 67 54 29"), offset, offset}), std::nullopt},
    };
    for (Case& c : cases) {
        EXPECT_EQ(FindDataLocator(c.program), c.expected) << c.name;
        Bytes copy = c.program;
        EXPECT_EQ(SetDataOffset(copy, 0x11223344u), c.expected.has_value()) << c.name;
        if (c.expected) {
            EXPECT_EQ(Bytes(copy.begin() + *c.expected + 6, copy.begin() + *c.expected + 10), H("44 33 22 11")) << c.name;
            EXPECT_EQ(GetDataOffset(copy), 0x11223344u) << c.name;
        } else {
            EXPECT_EQ(copy, c.program) << c.name << ": left unchanged";
        }
    }
}

TEST(DataLocator, BuildUninstallerPointsAtTheAppendedStream) {
    Bytes program = Cat({H("4D5A 0000"), H("777767542948 FFFFFFFF"), H("EE")});
    Bytes file = BuildUninstaller(program, H("7F7F 0000 00000000 00000000"));
    EXPECT_EQ(file, Cat({H("4D5A 0000 777767542948 0F000000 EE"), H("7F7F 0000 00000000 00000000")}));
    EXPECT_THROW(BuildUninstaller(H("00 11 22"), {}), std::invalid_argument);
}

namespace {

UninstallData SampleData() {
    UninstallData d;
    for (int i = 0; i < 16; ++i) d.messages.push_back(u"message " + std::u16string(1, char16_t(u'A' + i)));
    d.messages[8] = u"Damaged: %s";
    d.files = {{u".", u"", 0}, {u".\\bin", u"app.exe", kFileInUseCheck}, {u"C:\\Windows\\Fonts", u"f.ttf", 0x03}};
    d.shortcuts = {{2, u"C:\\Menu\\A\\B", u"", u"App.lnk"}};
    d.registry = {{0x80000002u, u"Software\\Vendor\\App"}, {0x80000001u, u"Software\\Run\\\\App"}};
    d.settings = {kRunWaitForCommand, u"\"#InstallDir#\\pre.exe\" /x", u"https://example.invalid/bye"};
    return d;
}

void ExpectSameData(const UninstallData& a, const UninstallData& b) {
    EXPECT_EQ(a.messages, b.messages);
    ASSERT_EQ(a.files.size(), b.files.size());
    for (size_t i = 0; i < a.files.size(); ++i) {
        EXPECT_EQ(a.files[i].directory, b.files[i].directory);
        EXPECT_EQ(a.files[i].fileName, b.files[i].fileName);
        EXPECT_EQ(a.files[i].flags, b.files[i].flags);
    }
    ASSERT_EQ(a.shortcuts.size(), b.shortcuts.size());
    for (size_t i = 0; i < a.shortcuts.size(); ++i) {
        EXPECT_EQ(a.shortcuts[i].levels, b.shortcuts[i].levels);
        EXPECT_EQ(a.shortcuts[i].firstFolder, b.shortcuts[i].firstFolder);
        EXPECT_EQ(a.shortcuts[i].secondFolder, b.shortcuts[i].secondFolder);
        EXPECT_EQ(a.shortcuts[i].fileName, b.shortcuts[i].fileName);
    }
    ASSERT_EQ(a.registry.size(), b.registry.size());
    for (size_t i = 0; i < a.registry.size(); ++i) {
        EXPECT_EQ(a.registry[i].root, b.registry[i].root);
        EXPECT_EQ(a.registry[i].path, b.registry[i].path);
    }
    EXPECT_EQ(a.settings.flags, b.settings.flags);
    EXPECT_EQ(a.settings.command, b.settings.command);
    EXPECT_EQ(a.settings.finishPage, b.settings.finishPage);
}

const Bytes kEnd = H("7F7F 0000 00000000 00000000");
const Bytes kSettings = H("3A12 0000 0C000000 00000000 | 00000000 00000000 00000000");

}  // namespace

TEST(Reader, RoundTripsTheWritersStreamAndFile) {
    UninstallData d = SampleData();
    DecodeResult r = DecodeStream(EncodeStream(d));
    ASSERT_TRUE(r.ok) << r.error;
    ExpectSameData(d, r.data);
    EXPECT_EQ(r.chunks.size(), 6u);

    Bytes file = BuildUninstaller(H("00 777767542948 00000000"), EncodeStream(d));
    r = DecodeUninstaller(file);
    ASSERT_TRUE(r.ok) << r.error;
    ExpectSameData(d, r.data);
}

TEST(Reader, JoinsListsReplacesTablesAndSettingsSkipsUnknownChunks) {
    Bytes stream = Cat({EncodeChunk(ChunkTag::MessageTable, EncodeMessageTable({u"old"})),
                        EncodeChunk(ChunkTag::FileList, EncodeFileList({{u"a", u"1", 0}, {u"a", u"2", 0}, {u"a", u"3", 0}})),
                        EncodeChunk(0x1238, H("DEADBEEF")),
                        EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings({1, u"first", std::nullopt})),
                        EncodeChunk(ChunkTag::FileList, EncodeFileList({{u"b", u"4", 0}, {u"b", u"5", 0}})),
                        EncodeChunk(ChunkTag::MessageTable, H("0100 0000")),  // n = 0 keeps the earlier table
                        EncodeChunk(ChunkTag::MessageTable, EncodeMessageTable({u"new", u"x"})),
                        EncodeChunk(ChunkTag::RegistryList, EncodeRegistryList({})),
                        EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings({2, std::nullopt, u"page"})),
                        EncodeChunk(ChunkTag::End, H("0102")),  // an End payload is never read
                        H("FF FF")});                      // nor anything after it
    DecodeResult r = DecodeStream(stream);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.messages, (std::vector<std::u16string>{u"new", u"x"}));
    ASSERT_EQ(r.data.files.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(r.data.files[i].fileName, std::u16string(1, char16_t(u'1' + i)));
    EXPECT_EQ(r.data.settings.flags, 2u);
    EXPECT_FALSE(r.data.settings.command);
    EXPECT_EQ(r.data.settings.finishPage, u"page");
}

TEST(Reader, DamagedStreamsNameTheOffsetOfTheFault) {
    const Bytes table = EncodeChunk(ChunkTag::MessageTable, EncodeMessageTable({u"m"}));  // 20 bytes
    struct Case {
        const char* name;
        Bytes stream;
        const char* expected;  // start of the error text
    } cases[] = {
        {"empty stream", {}, "offset 0 (0x0): stream ends without an End chunk"},
        {"no end chunk", Cat({table, kSettings}), "offset 44 (0x2C): stream ends without"},
        {"header cut short", Cat({table, H("7F7F 0000")}), "offset 20 (0x14): chunk header cut short (4 of 12"},
        {"size past the end", Cat({table, H("3512 0000 09000000 00000000 01000000")}), "offset 20 (0x14): chunk 0x1235 declares 9"},
        {"64-bit size", Cat({table, H("9999 0000 00000000 01000000"), kSettings, kEnd}), "offset 20 (0x14): chunk 0x9999 declares 4294967296"},
        {"record past its chunk", Cat({table, EncodeChunk(ChunkTag::RegistryList, H("01000000 01000080 0200 4100")), kSettings, kEnd}),
         "offset 40 (0x28): registry list: registry record path of 2 units runs past"},
        {"count past its chunk", Cat({table, EncodeChunk(ChunkTag::FileList, H("02000000 0000 0000 00")), kSettings, kEnd}),
         "offset 41 (0x29): file list: file record directory runs past"},
        {"over the staging limit", Cat({table, EncodeChunk(ChunkTag::RegistryList, Cat({H("01000000 01000000 0802"), Bytes(0x208 * 2, 0x41)})), kSettings, kEnd}),
         "offset 36 (0x24): registry record: texts hold 520 units"},
        {"no run settings", Cat({table, kEnd}), "offset 20 (0x14): stream has no RunSettings chunk"},
        {"refused run settings", Cat({table, EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings({}), 1), kEnd}), "offset 20 (0x14): run settings chunk has flags bit 0"},
        {"run settings too short", Cat({table, EncodeChunk(ChunkTag::RunSettings, H("00000000 00000000")), kEnd}), "offset 32 (0x20): run settings: block of 8 bytes"},
        {"offset in the header", Cat({table, EncodeChunk(ChunkTag::RunSettings, H("00000000 08000000 00000000 0000")), kEnd}), "offset 32 (0x20): run settings: command offset 8 lies outside"},
        {"offset past the block", Cat({table, EncodeChunk(ChunkTag::RunSettings, H("00000000 00000000 0E000000 0000")), kEnd}), "offset 32 (0x20): run settings: finish page offset 14 lies outside"},
        {"no terminator", Cat({table, EncodeChunk(ChunkTag::RunSettings, H("00000000 0C000000 00000000 4100 4200")), kEnd}), "offset 44 (0x2C): run settings: command has no terminator"},
        {"odd offset, terminator straddles the end", Cat({table, EncodeChunk(ChunkTag::RunSettings, H("00000000 0D000000 00000000 00 4100 00")), kEnd}), "offset 45 (0x2D): run settings: command has no terminator"},
    };
    for (const Case& c : cases) {
        DecodeResult r = DecodeStream(c.stream);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.error.rfind(c.expected, 0), 0u) << c.name << ": " << r.error;
        EXPECT_EQ(r.error.rfind("offset " + std::to_string(r.errorOffset) + " ", 0), 0u) << c.name << ": " << r.error;
    }
}

TEST(Reader, OddRunSettingsOffsetWithTerminatorInsideIsRead) {
    Bytes stream = Cat({EncodeChunk(ChunkTag::RunSettings, H("00000000 0D000000 00000000 00 4100 0000")), kEnd});
    DecodeResult r = DecodeStream(stream);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.settings.command, u"A");
}

TEST(Reader, UninstallerFileWithoutUsableLocator) {
    EXPECT_NE(DecodeUninstaller(H("00 11 22")).error.find("no single data locator"), std::string::npos);
    EXPECT_NE(DecodeUninstaller(H("777767542948 00000000")).error.find("DataOffset is 0"), std::string::npos);
    EXPECT_NE(DecodeUninstaller(H("777767542948 0B000000")).error.find("past the end"), std::string::npos);
    DecodeResult r = DecodeUninstaller(H("777767542948 0A000000 7F7F"));
    EXPECT_NE(r.error.find("file offset 10"), std::string::npos) << r.error;
}
