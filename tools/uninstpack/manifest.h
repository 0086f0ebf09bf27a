// The JSON manifest of the authoring tool and its mapping to and from UninstallData: messages
// by number, file, shortcut and registry records with named flags and roots, run settings.
// A manifest read back from a built file turns into the same stream, byte for byte.
#pragma once
#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "pack/uninst_data.h"

namespace uninstpack {

using Json = nlohmann::ordered_json;

// A manifest that cannot be turned into data: every mistake in it, each naming its field
// ("files[2].flags[0]: unknown flag ..."); what() gives them one per line.
struct ManifestError : std::runtime_error {
    explicit ManifestError(const std::string& mistake) : std::runtime_error(mistake), mistakes{mistake} {}
    explicit ManifestError(const std::vector<std::string>& all);
    std::vector<std::string> mistakes;
};

// The names of FileEntry's flag bits, as manifests write them and inspect shows them.
struct FlagName {
    uint8_t bit;
    const char* name;
};
inline constexpr FlagName kFileFlags[] = {
    {kFileShared, "shared"}, {kFileFont, "font"}, {kFileCom, "com"}, {kFileInUseCheck, "in-use"}};

const uint32_t kRootClassesRoot = 0x80000000, kRootCurrentUser = 0x80000001, kRootLocalMachine = 0x80000002,
               kRootUsers = 0x80000003;

// "HKLM" for 0x80000002, and so on; empty for a value that is not one of the four.
std::string RootName(uint32_t root);

// How the uninstaller reads a registry path: a value when the last backslash is not the first
// character and directly follows another backslash (key before the pair, value name after it).
struct RegistryTarget {
    bool isValue = false;
    std::u16string key, value;
};
RegistryTarget SplitRegistryPath(const std::u16string& path);

// How the checks name a record in their findings, and the reading the records it could not
// read: "file record 2", by the record's place in its list.
enum class RecordList { File, Shortcut, Registry };
std::string RecordName(RecordList list, size_t index);

// A manifest read as far as it goes: every record in its place (a field with a mistake left
// empty), every mistake, and the records they are in (by RecordName), so a caller can still
// check the others.
struct ManifestReading {
    UninstallData data;
    std::vector<std::string> mistakes;
    std::vector<std::string> spoiled;
};
ManifestReading ReadManifest(const Json& manifest);
// Parses JSON; a field given twice in one object is a mistake, added to `mistakes`, since JSON
// readers differ in which of the two they keep. Throws nlohmann's parse error for text that is
// not JSON.
Json ParseJson(const std::string& text, std::vector<std::string>& mistakes);
// ParseJson, then ReadManifest; its mistakes come first.
ManifestReading ReadManifestText(const std::string& text);

// Throw ManifestError with every mistake (or nlohmann's parse error, for text that is not JSON).
UninstallData ManifestFromJson(const Json& manifest);
UninstallData ParseManifest(const std::string& text);
// Throws ManifestError for a text that UTF-8 cannot carry (an unpaired surrogate).
Json ManifestToJson(const UninstallData& data);

}  // namespace uninstpack
