// The uninstall data's format, the one definition its reader (the program) and its writers
// (pack/, the authoring tool) share: chunk tags and headers, message numbers, flag bits, record
// limits and the data locator. Constants and plain layouts only, and nothing but
// <stddef.h>/<stdint.h>, so the program can include it without growing and the portable code
// without Win32.
#pragma once
#include <stddef.h>
#include <stdint.h>

// ChunkHeader::tag. Unscoped, so that a tag compares with and passes as the header's plain
// 16-bit field; written ChunkTag::MessageTable all the same.
enum ChunkTag : uint16_t {
    MessageTable = 0x1234,
    FileList = 0x1235,
    ShortcutList = 0x1236,
    RegistryList = 0x1237,
    RunSettings = 0x123A,
    Integrity = 0x1240,  // u32 CRC-32 of every stream byte before its header; older programs skip it
    End = 0x7F7F,
};

// The numbers of the message table's texts, every text the uninstaller shows; the authoring tool
// checks a table by the same names and ranges.
enum MessageId : int {
    kMessageCaption = 0,  // the caption of every window and box
    kMessageConfirmation = 1,
    kMessageFinalNotice = 2,
    kMessageYes = 3,  // the read-only prompt's buttons, 3 to 6, which need four access keys
    kMessageYesToAll = 4,
    kMessageNo = 5,
    kMessageNoToAll = 6,
    kMessageOutOfMemory = 7,  // 7 to 10 hold the one "%s" the uninstaller formats, with a path
    kMessageDamaged = 8,
    kMessageReadOnly = 9,
    kMessageSharedFile = 10,
    kMessageRemovingFiles = 11,  // the progress texts, 11 to 14
    kMessageRemovingShortcuts = 12,
    kMessageRemovingFolders = 13,
    kMessageRemovingRegistry = 14,
    kMessageStillRunning = 15,
    kMessageCount = 16,  // the uninstaller shows every one of these
};
constexpr int kFirstButtonMessage = kMessageYes;
constexpr int kLastButtonMessage = kMessageNoToAll;
constexpr int kFirstPathMessage = kMessageOutOfMemory;
constexpr int kLastPathMessage = kMessageSharedFile;

// Every integer in the stream is little-endian, and nothing is padded.
struct ChunkHeader {
    uint16_t tag;
    uint16_t flags;  // kChunkRefused, or 0
    uint32_t sizeLow;
    uint32_t sizeHigh;
};
constexpr size_t kChunkHeaderSize = 12;
static_assert(sizeof(ChunkHeader) == kChunkHeaderSize, "a chunk header is 12 bytes in the stream");

// ChunkHeader::flags bit 0: the RunSettings chunk is refused; no other reader looks at flags.
constexpr uint16_t kChunkRefused = 0x0001;

// FileEntry flags (one byte in the record)
constexpr uint8_t kFileShared = 0x01;      // use count under SharedDLLs
constexpr uint8_t kFileFont = 0x02;        // deregister the font first; its folder is never removed
constexpr uint8_t kFileCom = 0x04;         // unregister the COM server first
constexpr uint8_t kFileInUseCheck = 0x08;  // held open by another program: the application runs

// RunSettings flags
constexpr uint32_t kRunWaitForCommand = 0x01;    // wait for the pre-removal command to end
constexpr uint32_t kRunFullVisualStyles = 0x02;  // keep full visual styles (no theme restriction)
constexpr uint32_t kRun64BitApplication = 0x04;  // under WOW64: the 64-bit registry view, native folders

// The head of the RunSettings block; the block's texts follow it, each zero-terminated.
struct RunSettingsHeader {
    uint32_t flags;
    uint32_t commandOffset;     // bytes from the block's start; 0: no pre-removal command
    uint32_t finishPageOffset;  // bytes from the block's start; 0: no finish page
};
constexpr uint32_t kRunSettingsHeaderSize = 12;
static_assert(sizeof(RunSettingsHeader) == kRunSettingsHeaderSize, "the RunSettings head is 12 bytes");

// The program stages a record's texts, each with its terminator, in a fixed area (520, 780 and
// 520 units); these are the units the texts may hold together, terminators not counted. A
// writer refuses a record past them, the program reports it as damage.
constexpr uint32_t kFileEntryTextLimit = 518;      // directory + fileName
constexpr uint32_t kShortcutEntryTextLimit = 777;  // firstFolder + secondFolder + fileName
constexpr uint32_t kRegistryEntryTextLimit = 519;  // path

// DataLocator: the marker "wwgT)H", then DataOffset (u32). A writer finds the field by searching
// for the marker, so it must occur exactly once in the program file: the program spells it only
// in DataLocator's initialiser, where the elements are read as constants and the array itself
// is never stored.
constexpr size_t kDataLocatorMarkerSize = 6;
constexpr uint8_t kDataLocatorMarker[kDataLocatorMarkerSize] = {0x77, 0x77, 0x67, 0x54, 0x29, 0x48};
constexpr size_t kDataLocatorSize = kDataLocatorMarkerSize + 4;
