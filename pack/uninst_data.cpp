// Writer of the uninstall data: payloads, chunks, the stream and the data locator of a program
// part. Every integer is little-endian whatever the host, and nothing is padded. Input that
// the format cannot carry (a text over 65535 units, a record past the program's staging area)
// throws instead of producing data the uninstaller would refuse or misread.
#include "pack/uninst_data.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace uninstpack {

namespace {

void PutU8(Bytes& out, uint8_t v) { out.push_back(v); }

void PutU16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutUnits(Bytes& out, const std::u16string& text) {
    for (char16_t c : text) PutU16(out, static_cast<uint16_t>(c));
}

// Length-prefixed text of a record or message; the program adds the terminator itself.
void PutText(Bytes& out, const std::u16string& text, const char* what) {
    if (text.size() > 0xFFFF)
        throw std::length_error(std::string(what) + ": " + std::to_string(text.size()) +
                                " UTF-16 units, at most 65535 fit the length field");
    PutU16(out, static_cast<uint16_t>(text.size()));
    PutUnits(out, text);
}

void CheckRecordLimit(size_t units, size_t limit, const char* kind, size_t index) {
    if (units > limit)
        throw std::length_error(std::string(kind) + " " + std::to_string(index) + ": texts hold " +
                                std::to_string(units) + " UTF-16 units together, the uninstaller takes at most " +
                                std::to_string(limit));
}

uint32_t CheckedCount(size_t n, const char* kind) {
    if (n > 0xFFFFFFFFu) throw std::length_error(std::string(kind) + ": too many records");
    return static_cast<uint32_t>(n);
}

}  // namespace

Bytes EncodeMessageTable(const std::vector<std::u16string>& messages) {
    if (messages.size() > 0xFFFF)
        throw std::length_error("message table: " + std::to_string(messages.size()) +
                                " messages, at most 65535 fit the count field");
    Bytes out;
    PutU16(out, 1);
    PutU16(out, static_cast<uint16_t>(messages.size()));
    for (const auto& m : messages) PutText(out, m, "message");
    return out;
}

Bytes EncodeFileList(const std::vector<FileRecord>& records) {
    Bytes out;
    PutU32(out, CheckedCount(records.size(), "file list"));
    for (size_t i = 0; i < records.size(); ++i) {
        const FileRecord& r = records[i];
        CheckRecordLimit(r.directory.size() + r.fileName.size(), kFileEntryTextLimit, "file record", i);
        PutText(out, r.directory, "file record directory");
        PutText(out, r.fileName, "file record file name");
        PutU8(out, r.flags);
    }
    return out;
}

Bytes EncodeShortcutList(const std::vector<ShortcutRecord>& records) {
    Bytes out;
    PutU32(out, CheckedCount(records.size(), "shortcut list"));
    for (size_t i = 0; i < records.size(); ++i) {
        const ShortcutRecord& r = records[i];
        CheckRecordLimit(r.firstFolder.size() + r.secondFolder.size() + r.fileName.size(),
                         kShortcutEntryTextLimit, "shortcut record", i);
        PutU8(out, r.levels);
        PutText(out, r.firstFolder, "shortcut record first folder");
        PutText(out, r.secondFolder, "shortcut record second folder");
        PutText(out, r.fileName, "shortcut record file name");
    }
    return out;
}

Bytes EncodeRegistryList(const std::vector<RegistryRecord>& records) {
    Bytes out;
    PutU32(out, CheckedCount(records.size(), "registry list"));
    for (size_t i = 0; i < records.size(); ++i) {
        const RegistryRecord& r = records[i];
        CheckRecordLimit(r.path.size(), kRegistryEntryTextLimit, "registry record", i);
        PutU32(out, r.root);
        PutText(out, r.path, "registry record path");
    }
    return out;
}

Bytes EncodeRunSettings(const RunSettingsBlock& settings) {
    Bytes texts;
    uint64_t commandOffset = 0, finishPageOffset = 0;
    auto place = [&texts](const std::u16string& text) -> uint64_t {
        uint64_t offset = kRunSettingsHeaderSize + texts.size();
        PutUnits(texts, text);
        PutU16(texts, 0);
        return offset;
    };
    // A text with a zero unit inside would be cut there when read back.
    auto check = [](const std::u16string& text, const char* what) {
        if (text.find(u'\0') != std::u16string::npos)
            throw std::invalid_argument(std::string("run settings ") + what + " holds a zero unit");
    };
    if (settings.command) {
        check(*settings.command, "command");
        commandOffset = place(*settings.command);
    }
    if (settings.finishPage) {
        check(*settings.finishPage, "finish page");
        finishPageOffset = place(*settings.finishPage);
    }
    if (kRunSettingsHeaderSize + texts.size() > 0xFFFFFFFFu)
        throw std::length_error("run settings: block of 4 GiB or more");
    Bytes out;
    PutU32(out, settings.flags);
    PutU32(out, static_cast<uint32_t>(commandOffset));
    PutU32(out, static_cast<uint32_t>(finishPageOffset));
    out.insert(out.end(), texts.begin(), texts.end());
    return out;
}

Bytes EncodeChunkHeader(uint16_t tag, uint16_t flags, uint64_t size) {
    Bytes out;
    PutU16(out, tag);
    PutU16(out, flags);
    PutU32(out, static_cast<uint32_t>(size));
    PutU32(out, static_cast<uint32_t>(size >> 32));
    return out;
}

Bytes EncodeChunk(uint16_t tag, const Bytes& payload, uint16_t flags) {
    Bytes out = EncodeChunkHeader(tag, flags, payload.size());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes EncodeStream(const UninstallData& data) {
    Bytes out;
    auto append = [&out](const Bytes& chunk) { out.insert(out.end(), chunk.begin(), chunk.end()); };
    // The message table goes first: a failure later in the stream is reported in its texts.
    append(EncodeChunk(ChunkTag::MessageTable, EncodeMessageTable(data.messages)));
    append(EncodeChunk(ChunkTag::FileList, EncodeFileList(data.files)));
    append(EncodeChunk(ChunkTag::ShortcutList, EncodeShortcutList(data.shortcuts)));
    append(EncodeChunk(ChunkTag::RegistryList, EncodeRegistryList(data.registry)));
    append(EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings(data.settings)));
    append(EncodeChunkHeader(ChunkTag::End, 0, 0));
    return out;
}

std::string Hex(uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

uint32_t Crc32(const uint8_t* bytes, size_t count) {
    static uint32_t table[256];
    if (!table[1])
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
            table[i] = c;
        }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < count; ++i) crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
    return ~crc;
}

Bytes EncodeSealedStream(const UninstallData& data) {
    Bytes out = EncodeStream(data);
    out.resize(out.size() - kChunkHeaderSize);
    Bytes crc;
    PutU32(crc, Crc32(out.data(), out.size()));
    Bytes integrity = EncodeChunk(ChunkTag::Integrity, crc);
    out.insert(out.end(), integrity.begin(), integrity.end());
    Bytes end = EncodeChunkHeader(ChunkTag::End, 0, 0);
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

LocatorSearch SearchDataLocator(const Bytes& file) {
    LocatorSearch found;
    auto begin = file.begin(), end = file.end();
    auto first = std::search(begin, end, std::begin(kDataLocatorMarker), std::end(kDataLocatorMarker));
    if (first == end) return found;
    found.at = static_cast<size_t>(first - begin);
    auto second = std::search(first + 1, end, std::begin(kDataLocatorMarker), std::end(kDataLocatorMarker));
    if (second != end) {
        found.outcome = LocatorSearch::Repeated;
        found.again = static_cast<size_t>(second - begin);
    } else {
        found.outcome = file.size() - found.at < kDataLocatorSize ? LocatorSearch::CutShort : LocatorSearch::Found;
    }
    return found;
}

std::optional<size_t> FindDataLocator(const Bytes& program) {
    LocatorSearch found = SearchDataLocator(program);
    if (found.outcome != LocatorSearch::Found) return std::nullopt;
    return found.at;
}

bool SetDataOffset(Bytes& program, uint32_t offset) {
    std::optional<size_t> at = FindDataLocator(program);
    if (!at) return false;
    for (int i = 0; i < 4; ++i) program[*at + kDataLocatorMarkerSize + i] = static_cast<uint8_t>(offset >> (8 * i));
    return true;
}

std::optional<uint32_t> GetDataOffset(const Bytes& program) {
    std::optional<size_t> at = FindDataLocator(program);
    if (!at) return std::nullopt;
    uint32_t offset = 0;
    for (int i = 0; i < 4; ++i) offset |= static_cast<uint32_t>(program[*at + kDataLocatorMarkerSize + i]) << (8 * i);
    return offset;
}

Bytes BuildUninstaller(Bytes programPart, const Bytes& stream) {
    if (programPart.size() > 0xFFFFFFFFu)
        throw std::invalid_argument("program part of 4 GiB or more: its length does not fit DataOffset");
    if (!SetDataOffset(programPart, static_cast<uint32_t>(programPart.size())))
        throw std::invalid_argument("program part has no single data locator (marker \"wwgT)H\")");
    programPart.insert(programPart.end(), stream.begin(), stream.end());
    return programPart;
}

}  // namespace uninstpack
