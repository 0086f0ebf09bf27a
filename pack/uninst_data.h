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

namespace uninstpack {

using Bytes = std::vector<uint8_t>;

enum : uint16_t {
    kTagMessageTable = 0x1234,
    kTagFileList = 0x1235,
    kTagShortcutList = 0x1236,
    kTagRegistryList = 0x1237,
    kTagRunSettings = 0x123A,
    kTagIntegrity = 0x1240,  // u32 CRC-32 of every stream byte before this chunk's header
    kTagEnd = 0x7F7F
};

// FileRecord::flags
enum : uint8_t { kFileShared = 0x01, kFileFont = 0x02, kFileCom = 0x04, kFileInUseCheck = 0x08 };

// RunSettingsBlock::flags
enum : uint32_t { kRunWaitForCommand = 0x01, kRunFullVisualStyles = 0x02, kRun64BitApplication = 0x04 };

// Chunk header flag bit 0: the program refuses a RunSettings chunk that carries it.
enum : uint16_t { kChunkRefused = 0x0001 };

const size_t kChunkHeaderSize = 12;
const size_t kRunSettingsHeaderSize = 12;
const size_t kLocatorSize = 10;  // 6 marker bytes, then the u32 DataOffset
extern const uint8_t kLocatorMarker[6];

// The program stages each record's texts (each with a terminator) in a fixed area; a record
// whose texts exceed it is refused, so the writer refuses it too.
const size_t kFileRecordTextLimit = 518;      // directory + fileName
const size_t kShortcutRecordTextLimit = 777;  // firstFolder + secondFolder + fileName
const size_t kRegistryRecordTextLimit = 519;  // path

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
// CRC-32 (the polynomial of zip and PNG, reflected, initial and final inversion).
uint32_t Crc32(const uint8_t* bytes, size_t count);

// Offset of the marker when it occurs exactly once and the four offset bytes follow it.
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
    std::string error;  // when !ok: what is wrong and at which stream offset
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
