// Mutation fuzzing of the real loader in process: valid streams from the pack writer, damaged
// chunk by chunk and byte by byte, loaded from one rewritten file. The pack reader decides
// which inputs are valid; for those the loader must read exactly what the reader reads.
// UNINST_TEST_FUZZ_SEED and UNINST_TEST_FUZZ_COUNT pick other inputs for longer runs
// (bench/loader_fuzz.sh); input i of a seed is the same on every build, so a failure names it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "data/data_locator.h"
#include "data/install_records.h"
#include "data/memory_ops.h"
#include "data/message_table.h"
#include "data/uninstall_data.h"
#include "pack/uninst_data.h"
#include "run/run_sequence.h"
#include "run/ui_windows.h"
#include "support/loader_test.h"
#include "support/uninst_runner.h"
#include "support/whole_run.h"

using uninstpack::Bytes;

namespace {

// ---- inputs ----

// splitmix64: small, and the same sequence from the same seed everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(Next() % n) : 0; }
    bool Percent(uint32_t p) { return Below(100) < p; }
    template <typename T, size_t N> T Pick(const T (&items)[N]) { return items[Below(N)]; }

private:
    uint64_t state_;
};

// Units that matter to the readers and to formatting: path separators, percent signs, a lone
// surrogate, non-Latin text, and (where the format allows it) an embedded zero.
std::u16string RandomText(Rng& rng, size_t cch, bool allowZero) {
    static const char16_t kUnits[16] = {u'a', u'Z', u'0', u'.', u'\\', u'\\', u'%', u's', u' ', u'"',
                                        u':', 0x00E9, 0x4E2D, 0xD800, 0xFFFF, 0};
    std::u16string text(cch, u'a');
    // One draw gives sixteen units: generating texts is what the emulator spends most on.
    uint64_t bits = 0;
    for (size_t i = 0; i < cch; ++i) {
        if (i % 16 == 0) bits = rng.Next();
        char16_t c = kUnits[bits & 15];
        bits >>= 4;
        text[i] = c == 0 && !allowZero ? u'x' : c;
    }
    return text;
}

// Mostly short texts; now and then one that fills a record's staging area exactly.
size_t RandomLength(Rng& rng, size_t limit) {
    if (rng.Percent(4)) return limit;
    return rng.Below(rng.Percent(5) ? static_cast<uint32_t>(limit) + 1 : 8);
}

// Splits `total` units between n texts, each getting the rest of what the earlier ones left.
std::vector<size_t> SplitLength(Rng& rng, size_t total, int n) {
    std::vector<size_t> parts;
    for (int i = 0; i + 1 < n; ++i) {
        size_t part = rng.Below(static_cast<uint32_t>(total) + 1);
        parts.push_back(part);
        total -= part;
    }
    parts.push_back(total);
    return parts;
}

std::vector<std::u16string> RandomMessages(Rng& rng) {
    std::vector<std::u16string> messages;
    size_t n = 16 + rng.Below(4);
    for (size_t i = 0; i < n; ++i) {
        size_t cch = rng.Below(300) == 0 ? rng.Pick({1023u, 1024u, 1100u, 3000u}) : rng.Below(6);
        std::u16string text = RandomText(rng, cch, true);
        if ((i == 7 || i == 8) && rng.Percent(80)) text.insert(rng.Below(static_cast<uint32_t>(text.size()) + 1), u"%s");
        messages.push_back(text);
    }
    return messages;
}

uninstpack::UninstallData RandomData(Rng& rng) {
    uninstpack::UninstallData d;
    d.messages = RandomMessages(rng);
    for (uint32_t i = 0, n = rng.Below(5); i < n; ++i) {
        std::vector<size_t> len = SplitLength(rng, RandomLength(rng, kFileEntryTextLimit), 2);
        d.files.push_back({RandomText(rng, len[0], true), RandomText(rng, len[1], true), uint8_t(rng.Next())});
    }
    for (uint32_t i = 0, n = rng.Below(4); i < n; ++i) {
        std::vector<size_t> len = SplitLength(rng, RandomLength(rng, kShortcutEntryTextLimit), 3);
        d.shortcuts.push_back({uint8_t(rng.Next()), RandomText(rng, len[0], true), RandomText(rng, len[1], true),
                               RandomText(rng, len[2], true)});
    }
    for (uint32_t i = 0, n = rng.Below(4); i < n; ++i)
        d.registry.push_back({static_cast<uint32_t>(rng.Next()),
                              RandomText(rng, RandomLength(rng, kRegistryEntryTextLimit), true)});
    d.settings.flags = rng.Percent(80) ? rng.Below(4) : static_cast<uint32_t>(rng.Next());
    if (rng.Percent(50)) d.settings.command = RandomText(rng, rng.Below(40), false);
    if (rng.Percent(50)) d.settings.finishPage = RandomText(rng, rng.Below(40), false);
    return d;
}

struct Chunk {
    uint16_t tag = 0, flags = 0;
    Bytes payload;
    bool sizeSet = false;  // declare `size` instead of the payload's length
    uint64_t size = 0;
};

// A list kind's records spread over one to three chunks (lists join across chunks).
template <typename Record>
void AddListChunks(Rng& rng, std::vector<Chunk>& chunks, uint16_t tag, const std::vector<Record>& records,
                   Bytes (*encode)(const std::vector<Record>&)) {
    int parts = static_cast<int>(rng.Below(3)) + (records.empty() ? 0 : 1);
    size_t from = 0;
    for (int p = 0; p < parts; ++p) {
        size_t to = p + 1 == parts ? records.size() : from + rng.Below(static_cast<uint32_t>(records.size() - from) + 1);
        chunks.push_back({tag, 0, encode(std::vector<Record>(records.begin() + from, records.begin() + to))});
        from = to;
    }
}

// A valid stream as chunks: the message table first, the lists in any order, unknown and
// empty chunks between them, the run settings, the end chunk.
std::vector<Chunk> ValidChunks(Rng& rng) {
    uninstpack::UninstallData d = RandomData(rng);
    std::vector<Chunk> body;
    AddListChunks(rng, body, ChunkTag::FileList, d.files, uninstpack::EncodeFileList);
    AddListChunks(rng, body, ChunkTag::ShortcutList, d.shortcuts, uninstpack::EncodeShortcutList);
    AddListChunks(rng, body, ChunkTag::RegistryList, d.registry, uninstpack::EncodeRegistryList);
    body.push_back({ChunkTag::RunSettings, 0, uninstpack::EncodeRunSettings(d.settings)});
    for (uint32_t i = 0, n = rng.Below(3); i < n; ++i) {
        static const uint16_t kTags[] = {0x0000, 0x1238, 0x1239, 0x123B, 0x7F7E, 0xFFFF, 0x1235, 0x1236, 0x1237, 0x1234};
        Chunk extra{rng.Pick(kTags), 0, {}};
        // Known kinds only empty: a payload would change what the stream holds.
        if (extra.tag < 0x1234 || extra.tag > 0x1237)
            for (uint32_t b = 0, nb = rng.Below(20); b < nb; ++b) extra.payload.push_back(uint8_t(rng.Next()));
        body.push_back(extra);
    }
    for (size_t i = body.size(); i > 1; --i) std::swap(body[i - 1], body[rng.Below(static_cast<uint32_t>(i))]);

    std::vector<Chunk> chunks{{ChunkTag::MessageTable, 0, uninstpack::EncodeMessageTable(d.messages)}};
    chunks.insert(chunks.end(), body.begin(), body.end());
    Chunk end{ChunkTag::End, 0, {}};
    if (rng.Percent(10)) end.payload = Bytes(rng.Below(9), 0xEE);  // skipped with its chunk
    chunks.push_back(end);
    return chunks;
}

// A list chunk of one record whose texts hold `total` units, straddling the staging limit.
Chunk OverLimitRecord(Rng& rng) {
    Chunk c;
    uint32_t over = rng.Pick({0u, 1u, 2u, 100u});
    // The longest text a length field can announce is costly to build and read here: rare.
    switch (rng.Below(100) == 0 ? 3 : rng.Below(3)) {
    case 0: {
        c.tag = ChunkTag::FileList;
        std::vector<size_t> len = SplitLength(rng, kFileEntryTextLimit + over, 2);
        // The texts drawn in order: an initializer list is evaluated left to right.
        c.payload =
            Cat({U32(1), Counted(RandomText(rng, len[0], true)), Counted(RandomText(rng, len[1], true)), Bytes{0}});
        break;
    }
    case 1:
        c.tag = ChunkTag::ShortcutList;
        c.payload = Cat({U32(1), Bytes{1}});
        for (size_t l : SplitLength(rng, kShortcutEntryTextLimit + over, 3))
            c.payload = Cat({c.payload, Counted(RandomText(rng, l, true))});
        break;
    case 2:
        c.tag = ChunkTag::RegistryList;
        c.payload = Cat({U32(1), U32(0x80000001u), Counted(RandomText(rng, kRegistryEntryTextLimit + over, true))});
        break;
    default:
        // The longest text a length field can announce.
        c.tag = rng.Pick({ChunkTag::FileList, ChunkTag::RegistryList});
        if (c.tag == ChunkTag::RegistryList)
            c.payload = Cat({U32(1), U32(0x80000002u), Counted(std::u16string(0xFFFF, u'\\'))});
        else
            c.payload = Cat({U32(1), Counted(std::u16string(0xFFFF, u'\\')), U16(0), Bytes{0}});
        break;
    }
    return c;
}

const uint32_t kExtremes32[] = {0, 1, 2, 0x7F, 0xFF, 0xFFFF, 0x10000, 0x3FFFFFFF, 0x40000000,
                                0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};
const uint16_t kExtremes16[] = {0, 1, 2, 3, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};

void MutateChunks(Rng& rng, std::vector<Chunk>& chunks) {
    if (chunks.empty()) return;
    uint32_t i = rng.Below(static_cast<uint32_t>(chunks.size()));
    uint32_t j = rng.Below(static_cast<uint32_t>(chunks.size()));
    Chunk& c = chunks[i];
    switch (rng.Below(8)) {
    case 0: chunks.insert(chunks.begin() + j, Chunk(c)); break;  // repeated
    case 1: chunks.erase(chunks.begin() + i); break;             // dropped
    case 2: std::swap(chunks[i], chunks[j]); break;              // reordered
    case 3: c.flags = rng.Percent(50) ? uint16_t(c.flags | 1) : uint16_t(rng.Next()); break;
    case 4: {
        static const uint64_t kSizes[] = {0, 1, 0xFFFFFFFFull, 0x7FFFFFFFull, 0x80000000ull, 0x100000000ull,
                                          0xFFFFFFFFFFFFFFFFull, 0x8000000000000000ull};
        c.sizeSet = true;
        uint32_t pick = rng.Below(4);
        c.size = pick == 0 ? c.payload.size() + 1
               : pick == 1 ? (c.payload.empty() ? 0 : c.payload.size() - 1)
               : pick == 2 ? (0x100000000ull | c.payload.size())
                           : rng.Pick(kSizes);
        break;
    }
    case 5:  // a count, or a message table's table or message count, at an extreme
        if (c.payload.size() >= 4 && c.tag >= ChunkTag::FileList && c.tag <= ChunkTag::RegistryList) {
            uint32_t v = rng.Pick(kExtremes32);
            for (int b = 0; b < 4; ++b) c.payload[b] = uint8_t(v >> (8 * b));
        } else if (c.payload.size() >= 4) {
            uint16_t v = rng.Pick(kExtremes16);
            size_t at = rng.Percent(50) ? 0 : 2;
            c.payload[at] = uint8_t(v);
            c.payload[at + 1] = uint8_t(v >> 8);
        }
        break;
    case 6: chunks.insert(chunks.begin() + j, OverLimitRecord(rng)); break;
    default: {
        // A run-settings block whose header or offsets are out of line.
        Chunk s{ChunkTag::RunSettings, 0, {}};
        uint32_t cb = rng.Pick({0u, 1u, 11u, 12u, 13u, 14u, 16u, 40u});
        for (uint32_t b = 0; b < cb; ++b) s.payload.push_back(uint8_t(rng.Percent(40) ? 0 : rng.Next()));
        if (cb >= 12 && rng.Percent(70)) {
            uint32_t offsets[] = {0, 11, 12, 13, cb - 2, cb - 1, cb, 0xFFFFFFFF};
            for (size_t at : {size_t(4), size_t(8)}) {
                uint32_t v = rng.Pick(offsets);
                for (int b = 0; b < 4; ++b) s.payload[at + b] = uint8_t(v >> (8 * b));
            }
        }
        chunks.insert(chunks.begin() + j, s);
        break;
    }
    }
}

Bytes Serialize(const std::vector<Chunk>& chunks) {
    Bytes out;
    for (const Chunk& c : chunks) {
        Bytes header = uninstpack::EncodeChunkHeader(c.tag, c.flags, c.sizeSet ? c.size : c.payload.size());
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), c.payload.begin(), c.payload.end());
    }
    return out;
}

void MutateBytes(Rng& rng, Bytes& s) {
    if (s.empty()) return;
    uint32_t at = rng.Below(static_cast<uint32_t>(s.size()));
    switch (rng.Below(6)) {
    case 0:
        for (uint32_t n = 1 + rng.Below(8); n > 0; --n) s[rng.Below(static_cast<uint32_t>(s.size()))] ^= uint8_t(1u << rng.Below(8));
        break;
    case 1: s.resize(at); break;  // cut short
    case 2: {
        uint32_t v = rng.Percent(50) ? rng.Pick(kExtremes32) : rng.Pick(kExtremes16);
        for (uint32_t b = 0, n = rng.Percent(50) ? 2 : 4; b < n && at + b < s.size(); ++b) s[at + b] = uint8_t(v >> (8 * b));
        break;
    }
    case 3:
        for (uint32_t n = 1 + rng.Below(16); n > 0; --n) s.insert(s.begin() + at, uint8_t(rng.Next()));
        break;
    case 4: s.erase(s.begin() + at, s.begin() + std::min<size_t>(s.size(), at + 1 + rng.Below(32))); break;
    default: {
        uint32_t n = std::min<uint32_t>(1 + rng.Below(64), static_cast<uint32_t>(s.size()) - at);
        Bytes copy(s.begin() + at, s.begin() + at + n);
        s.insert(s.begin() + rng.Below(static_cast<uint32_t>(s.size()) + 1), copy.begin(), copy.end());
        break;
    }
    }
}

const DWORD kProgramPartSize = 32;

struct Input {
    Bytes stream;
    DWORD dataOffset = kProgramPartSize;  // other values point the loader elsewhere in the file
    // A refused input is checked against the pack reader (was it valid after all?) unless its
    // bytes were damaged: those are nearly always invalid, and the reader's refusal costs several
    // loads under the emulator. One in eight of them is still checked.
    bool checkRefusal = true;
};

// Valid streams to start from: generating one costs more under the emulator than loading
// it, so each input copies one of these and damages the copy.
std::vector<std::vector<Chunk>> ValidPool(uint64_t seed) {
    Rng rng(seed ^ 0x5EED5EED5EEDull);
    std::vector<std::vector<Chunk>> pool;
    for (int i = 0; i < 64; ++i) pool.push_back(ValidChunks(rng));
    return pool;
}

Input MakeInput(const std::vector<std::vector<Chunk>>& pool, uint64_t seed, uint32_t index) {
    Rng rng(seed * 0x100000001B3ull + index);
    std::vector<Chunk> chunks = pool[rng.Below(static_cast<uint32_t>(pool.size()))];
    uint32_t kind = rng.Below(100);
    if (kind >= 10) {
        for (uint32_t n = 1 + rng.Below(3); n > 0; --n) MutateChunks(rng, chunks);
    }
    Input in;
    in.stream = Serialize(chunks);
    in.checkRefusal = kind < 40 || index % 8 == 0;
    if (kind >= 40) {
        for (uint32_t n = 1 + rng.Below(3); n > 0; --n) MutateBytes(rng, in.stream);
    }
    if (rng.Percent(3)) {
        DWORD fileSize = kProgramPartSize + static_cast<DWORD>(in.stream.size());
        in.dataOffset = rng.Pick({DWORD(0), DWORD(1), kProgramPartSize - 1, kProgramPartSize + 1, fileSize,
                                  fileSize + 1, DWORD(0x7FFFFFFF), DWORD(0xFFFFFFFF)});
    }
    return in;
}

// ---- the loader's surroundings ----

// The program file, served from memory. File operations on a handle call ReadFile and
// SetFilePointer directly, so the test program's own imports of them are redirected; every
// handle but this one goes on to the system. Under the emulator a real file costs about as
// much as a hundred loads from memory (seen while sizing this test).
struct MemoryFile {
    const BYTE* data = nullptr;
    ULONGLONG size = 0, pos = 0;
    int opens = 0, closes = 0;
    bool badOpen = false;  // opened with other arguments than the loader's own
} Memory;
// Odd, so never a kernel handle (those are multiples of four) nor a pseudo-handle.
HANDLE const kMemoryHandle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x4D454D03));

decltype(&::ReadFile) RealReadFile = nullptr;
decltype(&::SetFilePointer) RealSetFilePointer = nullptr;
decltype(&::CloseHandle) RealCloseHandle = nullptr;

BOOL WINAPI MemoryReadFile(HANDLE file, LPVOID buffer, DWORD cb, LPDWORD got, LPOVERLAPPED overlapped) {
    if (file != kMemoryHandle) return RealReadFile(file, buffer, cb, got, overlapped);
    ULONGLONG left = Memory.pos < Memory.size ? Memory.size - Memory.pos : 0;
    DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(cb, left));
    if (n) std::memcpy(buffer, Memory.data + Memory.pos, n);
    Memory.pos += n;
    if (got) *got = n;
    return TRUE;  // at or past the end, as from a disk file: success with no bytes
}

// As the system call: 32-bit signed distance without `high`, 64-bit with it; a position before
// the start fails with ERROR_NEGATIVE_SEEK and leaves the pointer where it was.
DWORD WINAPI MemorySetFilePointer(HANDLE file, LONG low, PLONG high, DWORD method) {
    if (file != kMemoryHandle) return RealSetFilePointer(file, low, high, method);
    LONGLONG distance = high ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*high)) << 32) |
                                                      static_cast<DWORD>(low))
                             : static_cast<LONGLONG>(low);
    ULONGLONG from = method == FILE_BEGIN ? 0 : method == FILE_CURRENT ? Memory.pos : Memory.size;
    ULONGLONG to = from + static_cast<ULONGLONG>(distance);
    if (static_cast<LONGLONG>(to) < 0 || (distance < 0 && to > from) || (distance > 0 && to < from)) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    Memory.pos = to;
    if (high) *high = static_cast<LONG>(to >> 32);
    return static_cast<DWORD>(to);
}

BOOL WINAPI MemoryCloseHandle(HANDLE handle) {
    if (handle != kMemoryHandle) return RealCloseHandle(handle);
    ++Memory.closes;
    return TRUE;
}


HANDLE WINAPI MemoryCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD attributes, HANDLE tmpl) {
    if (!path || FakeModulePath != path || access != GENERIC_READ || share != FILE_SHARE_READ || security ||
        disposition != OPEN_EXISTING || tmpl)
        Memory.badOpen = true;
    (void)attributes;
    ++Memory.opens;
    Memory.pos = 0;
    return kMemoryHandle;
}

// The test program's import slot of `dll`!`name`, or null.
void** FindImportSlot(const char* dll, const char* name) {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0 || !d->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), name) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

// Puts `fake` into an import slot for the guard's lifetime; *real gets what was there.
class ImportGuard {
public:
    template <typename Fn>
    ImportGuard(const char* name, Fn fake, Fn* real, bool install)
        : slot_(install ? FindImportSlot("kernel32.dll", name) : nullptr) {
        if (!slot_) return;
        saved_ = *slot_;
        *real = reinterpret_cast<Fn>(saved_);
        Write(reinterpret_cast<void*>(fake));
    }
    ~ImportGuard() {
        if (slot_) Write(saved_);
    }
    bool Active() const { return slot_ != nullptr; }
    ImportGuard(const ImportGuard&) = delete;
    ImportGuard& operator=(const ImportGuard&) = delete;

private:
    void Write(void* value) {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old);
        *slot_ = value;
        VirtualProtect(slot_, sizeof(void*), old, &old);
    }
    void** slot_;
    void* saved_ = nullptr;
};

// fileOpen: the program file was still open when the box came up.
struct LoadBox { HWND owner; std::wstring text; UINT type; bool fileOpen; };
std::vector<LoadBox> Boxes;

int WINAPI RecordLoadBox(HWND owner, LPCWSTR text, LPCWSTR, UINT type) {
    Boxes.push_back({owner, text ? text : L"(null)", type, Memory.opens != Memory.closes});
    return IDOK;
}

uint32_t EnvNumber(const char* name, uint32_t fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    return static_cast<uint32_t>(std::strtoul(v, nullptr, 0));
}

std::string HexDump(const Bytes& b, size_t limit = 160) {
    std::string out;
    char two[4];
    for (size_t i = 0; i < b.size() && i < limit; ++i) {
        std::snprintf(two, sizeof two, "%02X", b[i]);
        out += two;
    }
    if (b.size() > limit) out += "... (" + std::to_string(b.size()) + " bytes)";
    return out;
}

bool SameText(const WCHAR* got, const std::u16string& want) {
    return got && std::memcmp(got, want.data(), want.size() * sizeof(WCHAR)) == 0 && got[want.size()] == 0;
}

// The run-settings texts may lie at odd addresses: compared bytewise.
bool SameSettingsText(const WCHAR* got, const std::optional<std::u16string>& want) {
    if (!want) return got == nullptr;
    if (!got) return false;
    const BYTE* p = reinterpret_cast<const BYTE*>(got);
    for (size_t i = 0; i <= want->size(); ++i) {
        char16_t unit = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
        if (unit != (i < want->size() ? (*want)[i] : 0)) return false;
    }
    return true;
}

// What the loader holds, compared with what the pack reader read: "" when they agree.
std::string CompareLoaded(const uninstpack::UninstallData& want) {
    if (want.messages.empty()) {
        if (Data.MessageTable) return "a message table where the reader has none";
    } else {
        if (!Data.MessageTable) return "no message table";
        for (size_t i = 0; i < want.messages.size(); ++i)
            if (!SameText(Data.MessageTable[i], want.messages[i])) return "message " + std::to_string(i);
        if (Data.MessageTable[want.messages.size()]) return "message table longer than the reader's";
    }
    if (Data.FileEntryCount != want.files.size()) return "file record count " + std::to_string(Data.FileEntryCount);
    for (size_t i = 0; i < want.files.size(); ++i) {
        const FileEntry* r = Data.FileEntries[i];
        if (!SameText(r->directory, want.files[i].directory) || !SameText(r->fileName, want.files[i].fileName) ||
            r->flags != want.files[i].flags)
            return "file record " + std::to_string(i);
    }
    if (Data.ShortcutEntryCount != want.shortcuts.size())
        return "shortcut record count " + std::to_string(Data.ShortcutEntryCount);
    for (size_t i = 0; i < want.shortcuts.size(); ++i) {
        const ShortcutEntry* r = Data.ShortcutEntries[i];
        const uninstpack::ShortcutRecord& w = want.shortcuts[i];
        if (r->levels != w.levels || !SameText(r->firstFolder, w.firstFolder) ||
            !SameText(r->secondFolder, w.secondFolder) || !SameText(r->fileName, w.fileName))
            return "shortcut record " + std::to_string(i);
    }
    if (Data.RegistryEntryCount != want.registry.size())
        return "registry record count " + std::to_string(Data.RegistryEntryCount);
    for (size_t i = 0; i < want.registry.size(); ++i)
        if (Data.RegistryEntries[i]->root != want.registry[i].root ||
            !SameText(Data.RegistryEntries[i]->path, want.registry[i].path))
            return "registry record " + std::to_string(i);
    if (!Data.RunSettings) return "no run settings";
    if (Data.RunSettings->flags != want.settings.flags) return "run settings flags";
    if (!SameSettingsText(PreRemovalCommandText(), want.settings.command)) return "pre-removal command";
    if (!SameSettingsText(FinishPageText(), want.settings.finishPage)) return "finish page";
    return "";
}

// Whatever a successful load holds must be safe for the run to use: every record's texts
// within its staging limit, the run settings valid.
std::string CheckLoadedShape() {
    if (!Data.RunSettings ||
        !IsValidRunSettingsBlock(reinterpret_cast<const BYTE*>(Data.RunSettings), Data.RunSettingsSize))
        return "a load without valid run settings";
    for (DWORD i = 0; i < Data.FileEntryCount; ++i)
        if (!Data.FileEntries[i] || lstrlenW(Data.FileEntries[i]->directory) + lstrlenW(Data.FileEntries[i]->fileName) >
                                        static_cast<int>(kFileEntryTextLimit))
            return "file record " + std::to_string(i) + " past its limit";
    for (DWORD i = 0; i < Data.ShortcutEntryCount; ++i) {
        const ShortcutEntry* r = Data.ShortcutEntries[i];
        if (!r || lstrlenW(r->firstFolder) + lstrlenW(r->secondFolder) + lstrlenW(r->fileName) >
                      static_cast<int>(kShortcutEntryTextLimit))
            return "shortcut record " + std::to_string(i) + " past its limit";
    }
    for (DWORD i = 0; i < Data.RegistryEntryCount; ++i)
        if (!Data.RegistryEntries[i] ||
            lstrlenW(Data.RegistryEntries[i]->path) > static_cast<int>(kRegistryEntryTextLimit))
            return "registry record " + std::to_string(i) + " past its limit";
    return "";
}

// Message `number` as the loader formats it, from the table it left loaded.
std::wstring Formatted(int number) {
    std::vector<WCHAR> buffer(kMessageBufferCch, 0);
    FormatMessageText(buffer.data(), number, Paths.ModulePath);
    return buffer.data();
}

struct Tally { uint32_t loaded = 0, outOfMemory = 0, damaged = 0, silent = 0, checkedAgainstReader = 0, failures = 0; };

// Each test: a folder for the program file, the fakes in place. With UNINST_TEST_FUZZ_FILE=1
// the inputs are written to that file and read from disk instead.
class LoaderFuzz : public LoaderTest {
protected:
    void SetUp() override {
        LoaderTest::SetUp();
        if (!onDisk_) {
            ASSERT_TRUE(read_.Active() && seek_.Active() && close_.Active())
                << "the test program does not import ReadFile, SetFilePointer and CloseHandle from kernel32";
        }
    }

    // The program file, a program part and `stream`, served from memory, with the data offset at
    // `dataOffset` and no box shown yet.
    void Serve(const Bytes& stream, DWORD dataOffset) {
        file_.assign(kProgramPartSize, 'P');
        file_.insert(file_.end(), stream.begin(), stream.end());
        Memory = MemoryFile();
        Memory.data = file_.data();
        Memory.size = file_.size();
        SetDataOffset(dataOffset);
        Boxes.clear();
    }

    // Loads one input and checks everything a load must guarantee; "" when all holds.
    std::string Run(const Input& in, Tally* tally) {
        Serve(in.stream, in.dataOffset);
        if (onDisk_ && !WriteFileBytes(FakeModulePath, file_)) return "cannot write the input";
        const LONG baseline = Heap.LiveBlockCount;

        const bool loaded = LoadUninstallDataOrReport();
        std::string fault;
        uninstpack::DecodeResult reader;
        if (in.dataOffset == kProgramPartSize && (loaded || in.checkRefusal)) reader = uninstpack::DecodeStream(in.stream);

        if (Memory.badOpen || Memory.opens != Memory.closes || Memory.opens > 1)
            fault = "the program file was not opened once for reading and closed again";
        else if (!Boxes.empty() && Boxes[0].fileOpen)
            fault = "a message while the program file was open";
        else if (loaded) {
            ++tally->loaded;
            if (!Boxes.empty()) fault = "a successful load showed a message";
            if (fault.empty()) fault = CheckLoadedShape();
            if (fault.empty() && reader.ok) {
                ++tally->checkedAgainstReader;
                fault = CompareLoaded(reader.data);
            }
        } else if (in.dataOffset == 0) {
            ++tally->silent;
            if (!Boxes.empty()) fault = "no data, yet a message";
        } else if (reader.ok) {
            fault = "valid data refused";
        } else if (Boxes.size() != 1) {
            fault = std::to_string(Boxes.size()) + " messages for one failed load";
        } else if (Boxes[0].owner != nullptr || Boxes[0].type != UINT(MB_OK | MB_ICONINFORMATION)) {
            fault = "failure message with the wrong owner or type";
        } else if (Boxes[0].text == Formatted(kReadOutOfMemory)) {
            ++tally->outOfMemory;
        } else if (Boxes[0].text == Formatted(kReadDamaged)) {
            ++tally->damaged;
        } else {
            fault = "failure message is neither message 7 nor message 8";
        }

        ReleaseUninstallData();
        if (fault.empty() && Heap.LiveBlockCount != baseline)
            fault = std::to_string(Heap.LiveBlockCount - baseline) + " blocks left after ReleaseUninstallData";
        if (fault.empty() &&
            (Data.FileEntries || Data.ShortcutEntries || Data.RegistryEntries || Data.RunSettings ||
             Data.MessageTable || Data.FileEntryCount || Data.ShortcutEntryCount || Data.RegistryEntryCount))
            fault = "ReleaseUninstallData left loaded data";
        if (!fault.empty()) ++tally->failures;
        return fault;
    }

    Bytes file_;
    const bool onDisk_ = EnvNumber("UNINST_TEST_FUZZ_FILE", 0) != 0;
    API_GUARD_MEMBER(MessageBox, RecordLoadBox);
    API_GUARD_MEMBER(CreateFile, onDisk_ ? Platform.ApiTable.CreateFile : MemoryCreateFile);
    ImportGuard read_{"ReadFile", MemoryReadFile, &RealReadFile, !onDisk_};
    ImportGuard seek_{"SetFilePointer", MemorySetFilePointer, &RealSetFilePointer, !onDisk_};
    ImportGuard close_{"CloseHandle", MemoryCloseHandle, &RealCloseHandle, !onDisk_};
};

}  // namespace

TEST_F(LoaderFuzz, EveryInputLoadsOrFailsCleanly) {
    const uint32_t seed = EnvNumber("UNINST_TEST_FUZZ_SEED", 1);
    const uint32_t count = EnvNumber("UNINST_TEST_FUZZ_COUNT", 20000);
    const std::vector<std::vector<Chunk>> pool = ValidPool(seed);
    Tally tally;
    uint32_t tried = 0;
    for (uint32_t i = 0; i < count && tally.failures < 10; ++i, ++tried) {
        Input in = MakeInput(pool, seed, i);
        std::string fault = Run(in, &tally);
        if (!fault.empty())
            ADD_FAILURE() << "seed " << seed << " input " << i << " (data offset " << in.dataOffset << "): " << fault
                          << "\n  stream " << HexDump(in.stream);
    }
    std::printf("loader fuzz: seed %u, %u inputs: %u loaded (%u checked against the reader), %u message 8, "
                "%u message 7, %u without data; %u failures\n",
                seed, tried, tally.loaded, tally.checkedAgainstReader, tally.damaged, tally.outOfMemory, tally.silent,
                tally.failures);

    // A generator that only ever made the first header unreadable would pass everything above.
    if (count >= 1000) {
        EXPECT_GT(tally.checkedAgainstReader, count / 20);
        EXPECT_GT(tally.damaged, count / 5);
        EXPECT_GT(tally.outOfMemory, 0u);
    }
}

// ---- no removal after a failed load ----

// Every table entry through which the run changes the system: counted, and refused as the
// system refuses what it may not do.
LONG RemovalCalls = 0;
template <typename Fn>
struct Refused;
template <typename R, typename... A>
struct Refused<R(WINAPI*)(A...)> {
    static R WINAPI Call(A...) {
        ++RemovalCalls;
        SetLastError(ERROR_ACCESS_DENIED);
        if constexpr (std::is_same_v<R, LONG>) return ERROR_ACCESS_DENIED;
        else if constexpr (std::is_same_v<R, HINSTANCE>) return reinterpret_cast<HINSTANCE>(SE_ERR_ACCESSDENIED);
        else return R{};
    }
};
#define REFUSED(entry) API_GUARD_MEMBER(entry, Refused<decltype(Platform.ApiTable.entry)>::Call)

// The program file opens from memory; any other open (a temporary copy, an in-use probe) is
// counted and refused.
HANDLE WINAPI CountCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD attributes, HANDLE tmpl) {
    if (path && FakeModulePath == path && access == GENERIC_READ)
        return MemoryCreateFile(path, access, share, security, disposition, attributes, tmpl);
    ++RemovalCalls;
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

class RunAfterLoad : public LoaderFuzz {
protected:
    void SetUp() override {
        LoaderFuzz::SetUp();
        if (HasFatalFailure()) return;
        if (!WholeRunRefusal().empty()) GTEST_SKIP() << WholeRunRefusal();
        RemovalCalls = 0;
    }

    // One whole run of the program over `stream`: its exit code.
    int RunOver(const Bytes& stream) {
        Serve(stream, kProgramPartSize);
        return RunUninstaller(GetModuleHandleW(nullptr));
    }

    API_GUARD_MEMBER(CreateFile, CountCreateFile);
    REFUSED(DeleteFile);
    REFUSED(RemoveDirectory);
    REFUSED(SetFileAttributes);
    REFUSED(RegDeleteKey);
    REFUSED(RegDeleteValue);
    REFUSED(RegSetValueEx);
    REFUSED(RemoveFontResource);
    REFUSED(WritePrivateProfileString);
    REFUSED(CreateProcess);
    REFUSED(ShellExecute);
};

TEST_F(RunAfterLoad, AFailedLoadEndsTheRunBeforeAnyRemoval) {
    const uint32_t seed = EnvNumber("UNINST_TEST_FUZZ_SEED", 1);
    const std::vector<std::vector<Chunk>> pool = ValidPool(seed);
    // Inputs the loader refuses, found with the loader alone; each then goes through a run.
    int runs = 0;
    for (uint32_t i = 0; i < 2000 && runs < 12 && !HasFailure(); ++i) {
        Input in = MakeInput(pool, seed, i);
        if (in.dataOffset != kProgramPartSize || uninstpack::DecodeStream(in.stream).ok) continue;
        const LONG baseline = Heap.LiveBlockCount;
        EXPECT_EQ(-1, RunOver(in.stream)) << "input " << i;
        EXPECT_EQ(0, RemovalCalls) << "input " << i;
        EXPECT_EQ(1u, Boxes.size()) << "input " << i;
        EXPECT_EQ(baseline, Heap.LiveBlockCount) << "input " << i;
        EXPECT_EQ(nullptr, Data.FileEntries);
        EXPECT_EQ(nullptr, Paths.ModulePath) << "the run's path buffers were released";
        ++runs;
    }
    EXPECT_EQ(12, runs);

    // The same fakes see a run that loads: its file record is removed (or tried).
    uninstpack::UninstallData d;
    d.messages = StandardMessages();
    d.files = {{u".", u"gone.txt", 0}};
    EXPECT_EQ(0, RunOver(uninstpack::EncodeStream(d)));
    EXPECT_GT(RemovalCalls, 0);
}
