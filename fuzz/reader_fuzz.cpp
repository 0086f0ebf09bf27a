// libFuzzer target for the authoring tool's reader: any bytes, as a whole uninstaller file and as
// a bare stream. The reader must answer every input with a result, never crash or overrun, and
// what it accepts must survive a trip through the writer unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "pack/uninst_data.h"

using namespace uninstpack;

namespace {

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "reader_fuzz: %s\n", what);
    std::abort();
}

bool Same(const UninstallData& a, const UninstallData& b) {
    if (a.messages != b.messages || a.files.size() != b.files.size() || a.shortcuts.size() != b.shortcuts.size() ||
        a.registry.size() != b.registry.size() || a.settings.flags != b.settings.flags ||
        a.settings.command != b.settings.command || a.settings.finishPage != b.settings.finishPage)
        return false;
    for (size_t i = 0; i < a.files.size(); ++i)
        if (a.files[i].directory != b.files[i].directory || a.files[i].fileName != b.files[i].fileName ||
            a.files[i].flags != b.files[i].flags)
            return false;
    for (size_t i = 0; i < a.shortcuts.size(); ++i)
        if (a.shortcuts[i].levels != b.shortcuts[i].levels || a.shortcuts[i].firstFolder != b.shortcuts[i].firstFolder ||
            a.shortcuts[i].secondFolder != b.shortcuts[i].secondFolder || a.shortcuts[i].fileName != b.shortcuts[i].fileName)
            return false;
    for (size_t i = 0; i < a.registry.size(); ++i)
        if (a.registry[i].root != b.registry[i].root || a.registry[i].path != b.registry[i].path) return false;
    return true;
}

// What every result must satisfy, accepted or refused.
void CheckResult(const DecodeResult& r) {
    if (!r.ok) {
        if (r.error.empty()) Broken("a refusal without a reason");
        return;
    }
    if (!r.error.empty()) Broken("an accepted stream with an error text");
    if (r.chunks.empty() || r.chunks.back().tag != ChunkTag::End) Broken("accepted without ending at an End chunk");
    for (const FileRecord& f : r.data.files)
        if (f.directory.size() + f.fileName.size() > kFileEntryTextLimit) Broken("file record past its limit");
    for (const ShortcutRecord& s : r.data.shortcuts)
        if (s.firstFolder.size() + s.secondFolder.size() + s.fileName.size() > kShortcutEntryTextLimit)
            Broken("shortcut record past its limit");
    for (const RegistryRecord& g : r.data.registry)
        if (g.path.size() > kRegistryEntryTextLimit) Broken("registry record past its limit");

    // What was read must be writable, and read back the same. The writer throws for data it
    // cannot carry; here that would mean the reader accepted something no writer produces.
    Bytes again = EncodeStream(r.data);
    DecodeResult back = DecodeStream(again);
    if (!back.ok) Broken("the writer's stream of accepted data is refused");
    if (!Same(back.data, r.data)) Broken("accepted data change through the writer and back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes bytes(data, data + size);
    CheckResult(DecodeStream(bytes));
    CheckResult(DecodeUninstaller(bytes));
    return 0;
}
