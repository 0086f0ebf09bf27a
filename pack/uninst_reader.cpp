// Checking reader of the uninstall data: decodes a stream back into UninstallData the way the
// uninstaller reads it, but refuses anything the uninstaller would misread or that a sound
// writer never produces, naming the offset of the first fault.
#include "pack/uninst_data.h"

namespace uninstpack {

namespace {

// Thrown inside this file only; DecodeStream turns it into an error text.
struct Fault {
    size_t offset;
    std::string what;
};

// Reads one payload, never past its end (the chunk's declared size).
class PayloadCursor {
public:
    PayloadCursor(const Bytes& stream, size_t begin, size_t end, const char* kind)
        : s_(stream), pos_(begin), end_(end), kind_(kind) {}

    size_t pos() const { return pos_; }

    uint8_t U8(const char* field) {
        Need(1, field);
        return s_[pos_++];
    }
    uint16_t U16(const char* field) {
        Need(2, field);
        uint16_t v = static_cast<uint16_t>(s_[pos_] | s_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    uint32_t U32(const char* field) {
        Need(4, field);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(s_[pos_ + i]) << (8 * i);
        pos_ += 4;
        return v;
    }
    std::u16string Text(const char* field) {
        size_t at = pos_;
        uint16_t n = U16(field);
        if (end_ - pos_ < size_t(n) * 2)
            throw Fault{at, std::string(kind_) + ": " + field + " of " + std::to_string(n) +
                                " units runs past the end of the chunk"};
        std::u16string text;
        for (uint16_t i = 0; i < n; ++i, pos_ += 2)
            text.push_back(static_cast<char16_t>(s_[pos_] | s_[pos_ + 1] << 8));
        return text;
    }

private:
    void Need(size_t n, const char* field) {
        if (end_ - pos_ < n)
            throw Fault{pos_, std::string(kind_) + ": " + field + " runs past the end of the chunk"};
    }

    const Bytes& s_;
    size_t pos_, end_;
    const char* kind_;
};

void CheckLimit(size_t units, size_t limit, size_t at, const char* kind) {
    if (units > limit)
        throw Fault{at, std::string(kind) + ": texts hold " + std::to_string(units) +
                            " units together, more than the uninstaller's " + std::to_string(limit)};
}

void ReadMessageTable(PayloadCursor& c, std::vector<std::u16string>& messages) {
    uint16_t tables = c.U16("table count");
    if (tables == 0) return;
    uint16_t n = c.U16("message count");
    if (n == 0) return;  // the uninstaller keeps an earlier table then
    std::vector<std::u16string> table;
    for (uint16_t i = 0; i < n; ++i) table.push_back(c.Text("message"));
    messages = std::move(table);
}

template <typename Record, typename ReadOne>
void ReadList(PayloadCursor& c, std::vector<Record>& list, ReadOne readOne) {
    uint32_t n = c.U32("record count");
    for (uint32_t i = 0; i < n; ++i) list.push_back(readOne(c));
}

FileRecord ReadFileRecord(PayloadCursor& c) {
    size_t at = c.pos();
    FileRecord r;
    r.directory = c.Text("file record directory");
    r.fileName = c.Text("file record file name");
    r.flags = c.U8("file record flags");
    CheckLimit(r.directory.size() + r.fileName.size(), kFileEntryTextLimit, at, "file record");
    return r;
}

ShortcutRecord ReadShortcutRecord(PayloadCursor& c) {
    size_t at = c.pos();
    ShortcutRecord r;
    r.levels = c.U8("shortcut record levels");
    r.firstFolder = c.Text("shortcut record first folder");
    r.secondFolder = c.Text("shortcut record second folder");
    r.fileName = c.Text("shortcut record file name");
    CheckLimit(r.firstFolder.size() + r.secondFolder.size() + r.fileName.size(), kShortcutEntryTextLimit, at,
               "shortcut record");
    return r;
}

RegistryRecord ReadRegistryRecord(PayloadCursor& c) {
    size_t at = c.pos();
    RegistryRecord r;
    r.root = c.U32("registry record root");
    r.path = c.Text("registry record path");
    CheckLimit(r.path.size(), kRegistryEntryTextLimit, at, "registry record");
    return r;
}

// The zero-terminated text at offset inside the block [begin, begin + size).
std::u16string RunSettingsText(const Bytes& s, size_t begin, size_t size, uint32_t offset, const char* field) {
    if (offset < kRunSettingsHeaderSize || offset >= size)
        throw Fault{begin, std::string("run settings: ") + field + " offset " + std::to_string(offset) +
                               " lies outside the text area of the " + std::to_string(size) + "-byte block"};
    std::u16string text;
    for (size_t at = offset; at + 1 < size; at += 2) {
        char16_t c = static_cast<char16_t>(s[begin + at] | s[begin + at + 1] << 8);
        if (c == 0) return text;
        text.push_back(c);
    }
    throw Fault{begin + offset, std::string("run settings: ") + field + " has no terminator inside the block"};
}

RunSettingsBlock ReadRunSettings(const Bytes& s, size_t begin, size_t size) {
    if (size < kRunSettingsHeaderSize)
        throw Fault{begin, "run settings: block of " + std::to_string(size) + " bytes, shorter than its 12-byte header"};
    PayloadCursor c(s, begin, begin + size, "run settings");
    RunSettingsBlock block;
    block.flags = c.U32("flags");
    uint32_t command = c.U32("command offset");
    uint32_t finishPage = c.U32("finish page offset");
    if (command) block.command = RunSettingsText(s, begin, size, command, "command");
    if (finishPage) block.finishPage = RunSettingsText(s, begin, size, finishPage, "finish page");
    return block;
}

}  // namespace

DecodeResult DecodeStream(const Bytes& stream) {
    DecodeResult result;
    UninstallData& data = result.data;
    bool haveRunSettings = false;
    size_t pos = 0;
    try {
        for (;;) {
            if (stream.size() - pos < kChunkHeaderSize)
                throw Fault{pos, pos == stream.size() ? std::string("stream ends without an End chunk")
                                                      : "chunk header cut short (" + std::to_string(stream.size() - pos) +
                                                            " of 12 bytes)"};
            ChunkInfo chunk;
            chunk.offset = pos;
            chunk.tag = static_cast<uint16_t>(stream[pos] | stream[pos + 1] << 8);
            chunk.flags = static_cast<uint16_t>(stream[pos + 2] | stream[pos + 3] << 8);
            for (int i = 0; i < 8; ++i) chunk.size |= static_cast<uint64_t>(stream[pos + 4 + i]) << (8 * i);
            result.chunks.push_back(chunk);
            size_t begin = pos + kChunkHeaderSize;
            // The uninstaller never reads past the End chunk's header, whatever its size says.
            if (chunk.tag == ChunkTag::End) break;
            if (chunk.size > stream.size() - begin)
                throw Fault{pos, "chunk " + Hex(chunk.tag) + " declares " + std::to_string(chunk.size) +
                                     " payload bytes, only " + std::to_string(stream.size() - begin) + " follow"};
            size_t end = begin + static_cast<size_t>(chunk.size);
            switch (chunk.tag) {
            case ChunkTag::MessageTable: {
                PayloadCursor c(stream, begin, end, "message table");
                if (chunk.size) ReadMessageTable(c, data.messages);
                break;
            }
            case ChunkTag::FileList: {
                PayloadCursor c(stream, begin, end, "file list");
                if (chunk.size) ReadList(c, data.files, ReadFileRecord);
                break;
            }
            case ChunkTag::ShortcutList: {
                PayloadCursor c(stream, begin, end, "shortcut list");
                if (chunk.size) ReadList(c, data.shortcuts, ReadShortcutRecord);
                break;
            }
            case ChunkTag::RegistryList: {
                PayloadCursor c(stream, begin, end, "registry list");
                if (chunk.size) ReadList(c, data.registry, ReadRegistryRecord);
                break;
            }
            case ChunkTag::Integrity: {
                if (chunk.size != 4)
                    throw Fault{pos, "integrity chunk of " + std::to_string(chunk.size) + " bytes; it holds a 4-byte CRC-32"};
                uint32_t stored = 0;
                for (int i = 0; i < 4; ++i) stored |= static_cast<uint32_t>(stream[begin + i]) << (8 * i);
                uint32_t computed = Crc32(stream.data(), pos);
                if (stored != computed)
                    throw Fault{pos, "integrity chunk holds CRC-32 " + Hex(stored) + ", but stream bytes 0 to " +
                                         std::to_string(pos) + " give " + Hex(computed) + ": the data were changed after build"};
                result.sealed = true;
                break;
            }
            case ChunkTag::RunSettings:
                // An empty chunk is passed over by the uninstaller like every empty chunk.
                if (!chunk.size) break;
                if (chunk.flags & kChunkRefused)
                    throw Fault{pos, "run settings chunk has flags bit 0 set; the uninstaller refuses it"};
                data.settings = ReadRunSettings(stream, begin, static_cast<size_t>(chunk.size));
                haveRunSettings = true;
                break;
            default:
                break;
            }
            pos = end;
        }
        if (!haveRunSettings) throw Fault{pos, "stream has no RunSettings chunk"};
        result.ok = true;
    } catch (const Fault& f) {
        result.ok = false;
        result.errorOffset = f.offset;
        result.error = "offset " + std::to_string(f.offset) + " (" + Hex(f.offset) + "): " + f.what;
    }
    return result;
}

DecodeResult DecodeUninstaller(const Bytes& file) {
    DecodeResult result;
    std::optional<uint32_t> offset = GetDataOffset(file);
    if (!offset) {
        result.error = "no single data locator (marker \"wwgT)H\") in the file";
        return result;
    }
    if (*offset == 0) {
        result.error = "DataOffset is 0: the file carries no uninstall data";
        return result;
    }
    if (*offset > file.size()) {
        result.error = "DataOffset " + std::to_string(*offset) + " lies past the end of the " +
                       std::to_string(file.size()) + "-byte file";
        return result;
    }
    result = DecodeStream(Bytes(file.begin() + *offset, file.end()));
    if (!result.ok) result.error += " (stream offset; the stream begins at file offset " + std::to_string(*offset) + ")";
    return result;
}

}  // namespace uninstpack
