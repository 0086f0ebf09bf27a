// Portable writer (and checking reader) of the uninstall data that follows the uninstaller's
// program part: the chunk stream, its payloads and the data locator. No Win32 here; the same
// code builds for the target and for the host. Writers throw std::length_error or
// std::invalid_argument for input the format cannot carry, rather than write damaged data.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "src/data/data_format.h"

namespace uninstpack {

using Bytes = std::vector<uint8_t>;

struct FileRecord {
    std::u16string directory, fileName;
    uint8_t flags = 0;
};
struct ShortcutRecord {
    uint8_t levels = 0;
    std::u16string firstFolder, secondFolder, fileName;
};
struct RegistryRecord {
    uint32_t root = 0;
    std::u16string path;
};
struct RunSettingsBlock {
    uint32_t flags = 0;
    std::optional<std::u16string> command, finishPage;
};
struct UninstallData {
    std::vector<std::u16string> messages;  // message n = messages[n]
    std::vector<FileRecord> files;
    std::vector<ShortcutRecord> shortcuts;
    std::vector<RegistryRecord> registry;
    RunSettingsBlock settings;
};

// Payloads. Texts are u16 length-prefixed UTF-16LE without terminators.
Bytes EncodeMessageTable(const std::vector<std::u16string>& messages);  // one table (T = 1)
Bytes EncodeFileList(const std::vector<FileRecord>&);
Bytes EncodeShortcutList(const std::vector<ShortcutRecord>&);
Bytes EncodeRegistryList(const std::vector<RegistryRecord>&);
// 12-byte header (flags, command offset, finish-page offset), then the texts, each
// zero-terminated UTF-16LE; an absent text has offset 0. The command comes first.
Bytes EncodeRunSettings(const RunSettingsBlock&);

// Chunks. The header is written as given (any tag, flags and 64-bit size), for damaged streams.
Bytes EncodeChunkHeader(uint16_t tag, uint16_t flags, uint64_t size);
Bytes EncodeChunk(uint16_t tag, const Bytes& payload, uint16_t flags = 0);

// The whole stream: MessageTable, FileList, ShortcutList, RegistryList (each even when empty,
// then with N = 0), RunSettings, and an End chunk of size 0.
Bytes EncodeStream(const UninstallData&);
// The same with an Integrity chunk just before the End chunk, as the authoring tool writes it:
// a program that knows the tag refuses the data when a byte before it changed, older ones skip it.
Bytes EncodeSealedStream(const UninstallData&);
// "0x" and the value in upper-case hexadecimal digits, as the tool and the reader print numbers.
std::string Hex(uint64_t v);
// CRC-32 (the polynomial of zip and PNG, reflected, initial and final inversion).
uint32_t Crc32(const uint8_t* bytes, size_t count);

// The one search for the locator's marker: where it occurs first and, when it occurs again,
// where it does so the second time; the locator is usable when it occurs exactly once with the
// four offset bytes after it.
struct LocatorSearch {
    enum Outcome { Found, Missing, Repeated, CutShort } outcome = Missing;
    size_t at = 0;     // the first marker, unless Missing
    size_t again = 0;  // the second marker, when Repeated
};
LocatorSearch SearchDataLocator(const Bytes& file);
// Offset of the marker when SearchDataLocator finds it usable.
std::optional<size_t> FindDataLocator(const Bytes& program);
// Writes offset (u32 LE) after the marker; false when FindDataLocator finds no single locator.
bool SetDataOffset(Bytes& program, uint32_t offset);
// The DataOffset a program part carries, when it has a single locator.
std::optional<uint32_t> GetDataOffset(const Bytes& program);
// programPart with its DataOffset set to its own length, followed by the stream. Throws
// std::invalid_argument when programPart has no single locator or is 4 GiB or longer.
Bytes BuildUninstaller(Bytes programPart, const Bytes& stream);

// ---- Reading back (for the authoring tool's inspect/verify and for tests) ----

// One chunk as it stands in a stream.
struct ChunkInfo {
    size_t offset = 0;  // of the header, from the start of the stream
    uint16_t tag = 0, flags = 0;
    uint64_t size = 0;
};

struct DecodeResult {
    bool ok = false;
    std::string error;       // when !ok: what is wrong and at which stream offset
    size_t errorOffset = 0;  // when !ok: that stream offset
    UninstallData data;
    std::vector<ChunkInfo> chunks;  // every chunk walked, the End chunk included
    bool sealed = false;            // an Integrity chunk was found and its CRC-32 matched
};

// Reads a stream the way the program does (later message tables replace earlier ones, lists
// join, a later RunSettings replaces an earlier one, unknown tags are skipped), but strictly:
// a payload whose records run past the chunk's size, or a text past a staging limit, is an
// error, as are a missing End chunk or RunSettings chunk, a refused RunSettings chunk, and an
// Integrity chunk that is not 4 bytes or whose CRC-32 does not match.
DecodeResult DecodeStream(const Bytes& stream);
// Finds the locator in an uninstaller file and decodes the stream at its DataOffset.
DecodeResult DecodeUninstaller(const Bytes& file);

}  // namespace uninstpack
