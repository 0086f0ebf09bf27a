// The loader of the appended uninstall data: finds the program's own file, walks the chunk
// stream from DataOffset to the end chunk and hands each payload to the reader of its kind.
// The file is open only inside LoadUninstallData; a failure is returned, never shown here.
#include "data/uninstall_data.h"
#include "data/data_locator.h"
#include "data/file_ops.h"
#include "data/install_records.h"
#include "data/memory_ops.h"
#include "data/message_table.h"
#include "data/path_buffer.h"
#include "platform/api_table.h"

LoadedData Data;

// Reads a whole payload (low 32 bits of its size) into a new block (not zero-filled):
// 0 with the block in *destination; 8 for a refused chunk (nothing allocated, *destination
// unchanged); 7 when the block cannot be allocated; 8 when the payload cannot be read whole
// (block released, *destination null).
static ReadResult ReadChunkBlock(HANDLE file, const ChunkHeader& header, void** destination) {
    if (header.flags & kChunkRefused) return kReadDamaged;
    void* block = nullptr;
    if (!AllocBlock(header.sizeLow, &block)) return kReadOutOfMemory;
    if (!ReadExact(file, block, header.sizeLow)) {
        FreeBlock(&block);
        *destination = nullptr;
        return kReadDamaged;
    }
    *destination = block;
    return kReadOk;
}

// A later RunSettings chunk replaces the block of an earlier one. A block the run could not
// use safely (too short for its header, an offset outside it, a text without terminator) is
// damage: the run reads its fields and texts without further checks.
static ReadResult ReadRunSettingsChunk(HANDLE file, const ChunkHeader& header) {
    FreeBlock(&Data.RunSettings);
    Data.RunSettingsSize = 0;
    void* block = nullptr;
    ReadResult result = ReadChunkBlock(file, header, &block);
    if (result != kReadOk) return result;
    if (!IsValidRunSettingsBlock(static_cast<const BYTE*>(block), header.sizeLow)) {
        FreeBlock(&block);
        return kReadDamaged;
    }
    Data.RunSettings = static_cast<RunSettingsHeader*>(block);
    Data.RunSettingsSize = header.sizeLow;
    return kReadOk;
}

// CRC-32 bit by bit: a table would cost about 1 KB of a program part that must stay small,
// and the stream is read only once more, at start.
static DWORD UpdateCrc32(DWORD crc, const BYTE* bytes, DWORD cb) {
    while (cb--) {
        crc ^= *bytes++;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return crc;
}

// The writer's seal over every stream byte before this chunk's header, read a second time from
// the file; a stream that changed after it was written is damage like any other. The caller
// repositions to the chunk's end afterwards.
static ReadResult CheckIntegrityChunk(HANDLE file, const ChunkHeader& header, DWORD offset) {
    ULONGLONG payload = GetFilePos(file);
    DWORD stored = 0;
    if (header.sizeLow != sizeof(stored) || header.sizeHigh || payload == kInvalidFilePos ||
        !ReadExact(file, &stored, sizeof(stored)))
        return kReadDamaged;
    ULONGLONG left = payload - sizeof(ChunkHeader) - offset;
    if (SetFilePos(file, offset) != offset) return kReadDamaged;
    BYTE buffer[2048];
    DWORD crc = 0xFFFFFFFFu;
    while (left) {
        DWORD cb = left < sizeof(buffer) ? static_cast<DWORD>(left) : sizeof(buffer);
        if (!ReadExact(file, buffer, cb)) return kReadDamaged;
        crc = UpdateCrc32(crc, buffer, cb);
        left -= cb;
    }
    return ~crc == stored ? kReadOk : kReadDamaged;
}

static ReadResult DispatchChunk(HANDLE file, const ChunkHeader& header, DWORD offset) {
    switch (header.tag) {
    case ChunkTag::MessageTable: return ReadMessageTableChunk(file);
    case ChunkTag::FileList: return ReadFileListChunk(file);
    case ChunkTag::ShortcutList: return ReadShortcutListChunk(file);
    case ChunkTag::RegistryList: return ReadRegistryListChunk(file);
    case ChunkTag::RunSettings: return ReadRunSettingsChunk(file, header);
    case ChunkTag::Integrity: return CheckIntegrityChunk(file, header, offset);
    default: return kReadOk;  // unknown kinds, and the end chunk's payload, are skipped
    }
}

// Reads chunk after chunk up to the end chunk: 0, or the first reader's error code.
static ReadResult WalkChunks(HANDLE file, DWORD offset) {
    if (SetFilePos(file, offset) != offset) return kReadDamaged;
    for (;;) {
        ChunkHeader header;
        if (!ReadExact(file, &header, sizeof(header))) return kReadDamaged;
        // Nothing after the end chunk is read, so its payload need not be skipped: a size too
        // large to seek past must not turn a complete stream into a damaged one.
        if (header.tag == ChunkTag::End) return kReadOk;
        if (header.sizeLow == 0 && header.sizeHigh == 0) continue;  // empty: the next header follows

        ULONGLONG start = GetFilePos(file);
        if (start == kInvalidFilePos) return kReadDamaged;
        ULONGLONG next = start + ((static_cast<ULONGLONG>(header.sizeHigh) << 32) | header.sizeLow);
        // A size that wraps, or one the file pointer cannot reach, would leave the next header
        // read at a place the writer never put one.
        if (next < start) return kReadDamaged;
        ReadResult result = DispatchChunk(file, header, offset);
        if (result != kReadOk) return result;
        if (SetFilePos(file, next) != next) return kReadDamaged;
    }
}

ReadResult LoadUninstallData() {
    const DWORD offset = DataOffset();
    if (offset == 0 || !Paths.ModulePath) return kReadNoData;
    // A path cut at the buffer's end names another file; only a whole path is opened.
    DWORD cch = Platform.ApiTable.GetModuleFileName(Platform.ModuleInstance, Paths.ModulePath, kPathCapacity);
    if (cch == 0 || cch >= kPathCapacity) return kReadNoData;
    HANDLE file = OpenExistingFile(Paths.ModulePath, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return kReadNoData;

    ReadResult code = WalkChunks(file, offset);
    CloseFile(file);
    // The run reads the settings' fields unconditionally, so a stream without them is damaged.
    if (code == kReadOk && !Data.RunSettings) code = kReadDamaged;
    return code;
}
