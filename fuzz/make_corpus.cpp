// Writes the fuzz target's seed inputs with the pack writer: small uninstaller files (a program
// part holding the data locator, then a stream), valid and typically damaged. Run by
// fuzz/make-corpus.sh; the files it writes are checked in under fuzz/corpus.
#include <cstdio>
#include <string>

#include "pack/uninst_data.h"

using namespace uninstpack;

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes ProgramPart() {
    Bytes part(24, 'P');
    part.insert(part.begin() + 8, std::begin(kDataLocatorMarker), std::end(kDataLocatorMarker));
    part.insert(part.begin() + 14, 4, 0);
    return part;
}

std::vector<std::u16string> Messages() {
    std::vector<std::u16string> m;
    for (int i = 0; i < 16; ++i) m.push_back(u"m" + std::u16string(1, char16_t(u'a' + i)));
    m[7] = u"Out of memory: %s";
    m[8] = u"Damaged: %s";
    return m;
}

UninstallData Full() {
    UninstallData d;
    d.messages = Messages();
    d.files = {{u".", u"", 0}, {u".\\bin", u"app.exe", 0x0B}, {u"C:\\Windows\\Fonts", u"a.ttf", 0x03}};
    d.shortcuts = {{2, u"C:\\Menu\\App", u"C:\\Desk", u"App.lnk"}, {0, u"", u"", u""}};
    d.registry = {{0x80000002u, u"Software\\Vendor\\\\Value"}, {0x80000001u, u"Software\\Vendor"}};
    d.settings = {kRunWaitForCommand, u"\"#Program Files#\\pre.exe\" /x", u"https://example.invalid/"};
    return d;
}

bool Write(const std::string& dir, const std::string& name, const Bytes& stream) {
    Bytes file = BuildUninstaller(ProgramPart(), stream);
    std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    UninstallData minimal;
    minimal.messages = Messages();
    const Bytes table = EncodeChunk(ChunkTag::MessageTable, EncodeMessageTable(Messages()));
    const Bytes settings = EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings({}));
    const Bytes end = EncodeChunkHeader(ChunkTag::End, 0, 0);

    UninstallData atLimits = minimal;
    atLimits.files = {{std::u16string(259, u'd'), std::u16string(259, u'f'), 0}};
    atLimits.shortcuts = {{1, std::u16string(259, u'a'), std::u16string(259, u'b'), std::u16string(259, u'c')}};
    atLimits.registry = {{0x80000002u, std::u16string(519, u'k')}};

    // A file record whose texts hold one unit more than the program stages.
    Bytes overLimit = {1, 0, 0, 0};
    overLimit.insert(overLimit.end(), {0x07, 0x01});  // 263 units
    overLimit.insert(overLimit.end(), 263 * 2, 'd');
    overLimit.insert(overLimit.end(), {0x00, 0x01});  // 256 units: 519 in all
    overLimit.insert(overLimit.end(), 256 * 2, 'f');
    overLimit.push_back(0);

    const struct {
        const char* name;
        Bytes stream;
    } seeds[] = {
        {"minimal", EncodeStream(minimal)},
        {"full", EncodeStream(Full())},
        {"at-limits", EncodeStream(atLimits)},
        {"lists-in-two-chunks",
         Cat({table, EncodeChunk(ChunkTag::FileList, EncodeFileList({{u"a", u"1", 0}})), settings,
              EncodeChunk(ChunkTag::FileList, EncodeFileList({{u"b", u"2", 1}})), end})},
        {"unknown-and-empty-chunks",
         Cat({table, EncodeChunk(0x1238, {1, 2, 3}), EncodeChunkHeader(ChunkTag::FileList, 0, 0), settings, end})},
        {"end-with-payload", Cat({table, settings, EncodeChunk(ChunkTag::End, {9, 9, 9})})},
        {"two-run-settings", Cat({table, settings, EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings(Full().settings)), end})},
        {"no-end", Cat({table, settings})},
        {"refused-run-settings", Cat({table, EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings({}), kChunkRefused), end})},
        {"size-high-half", Cat({table, EncodeChunkHeader(0x1238, 0, 0x100000004ull), Bytes{0, 0, 0, 0}, settings, end})},
        {"count-past-payload", Cat({table, EncodeChunk(ChunkTag::RegistryList, {0xFF, 0xFF, 0xFF, 0xFF}), settings, end})},
        {"record-over-limit", Cat({table, EncodeChunk(ChunkTag::FileList, overLimit), settings, end})},
    };
    for (const auto& s : seeds) {
        if (!Write(dir, s.name, s.stream)) {
            std::fprintf(stderr, "make_corpus: cannot write %s/%s\n", dir.c_str(), s.name);
            return 1;
        }
    }
    return 0;
}
