// build, inspect and verify. Nothing thrown by a damaged input leaves these functions: every
// failure becomes one line naming the input (and, for a file, the offset) and exit code 2.
#include "tools/uninstpack/commands.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "tools/uninstpack/checks.h"
#include "tools/uninstpack/manifest.h"
#include "tools/uninstpack/text.h"

namespace uninstpack {

namespace {

std::string Hex(uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

bool ReadFile(const std::string& path, Bytes& bytes, std::ostream& err) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << "uninstpack: " << path << ": cannot open the file\n";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        err << "uninstpack: " << path << ": read error\n";
        return false;
    }
    return true;
}

// Written beside the target and renamed over it, so a failed write leaves no half uninstaller.
bool WriteFile(const std::string& path, const Bytes& bytes, std::ostream& err) {
    std::string temp = path + ".partial";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            err << "uninstpack: " << path << ": cannot write the file\n";
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        err << "uninstpack: " << path << ": cannot replace the file\n";
        return false;
    }
    return true;
}

const char* TagName(uint16_t tag) {
    switch (tag) {
    case kTagMessageTable: return "MessageTable";
    case kTagFileList: return "FileList";
    case kTagShortcutList: return "ShortcutList";
    case kTagRegistryList: return "RegistryList";
    case kTagRunSettings: return "RunSettings";
    case kTagEnd: return "End";
    default: return "(unknown, skipped)";
    }
}

// Where the stream starts, or an error naming what is wrong with the locator.
struct Located {
    bool ok = false;
    size_t markerAt = 0;
    uint32_t dataOffset = 0;
    std::string error;
};

Located Locate(const Bytes& file) {
    Located l;
    std::vector<size_t> found;
    for (size_t i = 0; i + sizeof kLocatorMarker <= file.size() && found.size() < 2; ++i)
        if (std::equal(std::begin(kLocatorMarker), std::end(kLocatorMarker), file.begin() + i)) found.push_back(i);
    if (found.empty()) {
        l.error = "no data locator (marker \"wwgT)H\") between file offsets 0 and " + std::to_string(file.size()) +
                  "; this is not an uninstaller";
    } else if (found.size() > 1) {
        l.error = "the locator marker occurs at file offset " + std::to_string(found[0]) + " and again at " +
                  std::to_string(found[1]) + "; no writer can tell which one the program reads";
    } else if (file.size() - found[0] < kLocatorSize) {
        l.error = "the locator at file offset " + std::to_string(found[0]) + " is cut short by the end of the file";
    } else {
        l.markerAt = found[0];
        l.dataOffset = *GetDataOffset(file);
        if (l.dataOffset == 0)
            l.error = "the DataOffset at file offset " + std::to_string(found[0] + 6) +
                      " is 0: the file carries no uninstall data";
        else if (l.dataOffset > file.size())
            l.error = "the DataOffset at file offset " + std::to_string(found[0] + 6) + " is " +
                      std::to_string(l.dataOffset) + ", past the end of the " + std::to_string(file.size()) +
                      "-byte file";
        else if (l.markerAt + kLocatorSize > l.dataOffset)
            l.error = "the locator at file offset " + std::to_string(l.markerAt) + " lies inside the data at " +
                      std::to_string(l.dataOffset) + ", not in the program part";
        else
            l.ok = true;
    }
    return l;
}

DecodeResult Decode(const Bytes& file, const Located& l) {
    DecodeResult r = DecodeStream(Bytes(file.begin() + l.dataOffset, file.end()));
    if (!r.ok) {
        // The reader names stream offsets; a person with a hex viewer wants the file's.
        size_t streamOffset = 0;
        std::sscanf(r.error.c_str(), "offset %zu", &streamOffset);
        r.error = "file offset " + std::to_string(l.dataOffset + streamOffset) + ", stream " + r.error;
    }
    return r;
}

std::string Flags(uint8_t flags) {
    std::string names;
    const char* all[] = {"shared", "font", "com", "in-use"};
    for (int b = 0; b < 4; ++b)
        if (flags & (1 << b)) names += (names.empty() ? "" : ",") + std::string(all[b]);
    if (flags & 0xF0) names += (names.empty() ? "" : ",") + Hex(flags & 0xF0);
    return names.empty() ? "none" : names;
}

void PrintChunks(const std::vector<ChunkInfo>& chunks, uint32_t dataOffset, std::ostream& out) {
    out << "chunks: " << chunks.size() << "\n";
    for (const ChunkInfo& c : chunks)
        out << "  stream offset " << c.offset << " (file " << dataOffset + c.offset << "): tag " << Hex(c.tag) << " "
            << TagName(c.tag) << ", flags " << Hex(c.flags) << ", size " << c.size << "\n";
}

void PrintData(const UninstallData& d, std::ostream& out) {
    out << "messages: " << d.messages.size() << "\n";
    for (size_t i = 0; i < d.messages.size(); ++i) out << "  " << i << ": " << Printable(d.messages[i]) << "\n";
    out << "file records: " << d.files.size() << "\n";
    for (size_t i = 0; i < d.files.size(); ++i) {
        const FileRecord& r = d.files[i];
        out << "  " << i << ": " << (r.fileName.empty() ? "folder " : "file ") << "directory " << Printable(r.directory);
        if (!r.fileName.empty()) out << " name " << Printable(r.fileName);
        out << " flags " << Flags(r.flags) << "\n";
    }
    out << "shortcut records: " << d.shortcuts.size() << "\n";
    for (size_t i = 0; i < d.shortcuts.size(); ++i) {
        const ShortcutRecord& r = d.shortcuts[i];
        out << "  " << i << ": levels " << unsigned(r.levels) << " first folder " << Printable(r.firstFolder)
            << " second folder " << Printable(r.secondFolder) << " name " << Printable(r.fileName) << "\n";
    }
    out << "registry records: " << d.registry.size() << "\n";
    for (size_t i = 0; i < d.registry.size(); ++i) {
        const RegistryRecord& r = d.registry[i];
        std::string root = RootName(r.root);
        RegistryTarget t = SplitRegistryPath(r.path);
        out << "  " << i << ": " << (root.empty() ? Hex(r.root) : root) << " ";
        if (r.path.empty()) out << "(empty path, passed over)";
        else if (t.isValue)
            out << "value " << (t.value.empty() ? std::string("(default)") : Printable(t.value)) << " of key "
                << Printable(t.key);
        else out << "key " << Printable(t.key) << " with everything below it";
        out << "\n";
    }
    const RunSettingsBlock& s = d.settings;
    out << "run settings: flags " << Hex(s.flags);
    if (s.flags & kRunWaitForCommand) out << " wait";
    if (s.flags & kRunFullVisualStyles) out << " keep-visual-styles";
    if (s.flags & kRun64BitApplication) out << " x64";
    out << "\n  command: " << (s.command ? Printable(*s.command) : "(none)")
        << "\n  finish page: " << (s.finishPage ? Printable(*s.finishPage) : "(none)") << "\n";
}

int ReportProblems(const std::string& name, const std::vector<Problem>& problems, std::ostream& out) {
    for (const Problem& p : problems) out << name << ": " << p.where << ": " << p.what << "\n";
    if (problems.empty()) {
        out << name << ": no problems found\n";
        return kExitClean;
    }
    out << name << ": " << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " found\n";
    return kExitProblems;
}

bool LooksLikeManifest(const Bytes& content) {
    size_t i = 0;
    if (content.size() >= 3 && content[0] == 0xEF && content[1] == 0xBB && content[2] == 0xBF) i = 3;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t' || content[i] == '\r' || content[i] == '\n'))
        ++i;
    return i < content.size() && content[i] == '{';
}

// Parses a manifest, or reports why it cannot be used and returns nothing.
std::optional<UninstallData> LoadManifest(const Bytes& content, const std::string& name, std::ostream& err) {
    size_t skip = content.size() >= 3 && content[0] == 0xEF && content[1] == 0xBB && content[2] == 0xBF ? 3 : 0;
    try {
        return ParseManifest(std::string(content.begin() + skip, content.end()));
    } catch (const ManifestError& e) {
        err << "uninstpack: " << name << ": " << e.what() << "\n";
    } catch (const nlohmann::json::exception& e) {
        err << "uninstpack: " << name << ": not a JSON manifest: " << e.what() << "\n";
    }
    return std::nullopt;
}

}  // namespace

int InspectBytes(const Bytes& file, const std::string& name, bool json, std::ostream& out, std::ostream& err) {
    try {
        Located l = Locate(file);
        if (!l.ok) {
            err << "uninstpack: " << name << ": " << l.error << "\n";
            return kExitUnusable;
        }
        DecodeResult r = Decode(file, l);
        if (json) {
            if (!r.ok) {
                err << "uninstpack: " << name << ": " << r.error << "\n";
                return kExitUnusable;
            }
            out << ManifestToJson(r.data).dump(2) << "\n";
            return kExitClean;
        }
        out << "file: " << name << " (" << file.size() << " bytes)\n"
            << "locator: at file offset " << l.markerAt << ", DataOffset " << l.dataOffset << " (" << Hex(l.dataOffset)
            << "): program part of " << l.dataOffset << " bytes, stream of " << file.size() - l.dataOffset
            << " bytes\n";
        PrintChunks(r.chunks, l.dataOffset, out);
        if (!r.ok) {
            err << "uninstpack: " << name << ": " << r.error << "\n";
            return kExitUnusable;
        }
        PrintData(r.data, out);
        return kExitClean;
    } catch (const std::exception& e) {
        err << "uninstpack: " << name << ": " << e.what() << "\n";
        return kExitUnusable;
    }
}

int VerifyBytes(const Bytes& content, const std::string& name, std::ostream& out, std::ostream& err) {
    try {
        if (LooksLikeManifest(content)) {
            std::optional<UninstallData> data = LoadManifest(content, name, err);
            if (!data) return kExitUnusable;
            std::vector<Problem> problems = CheckData(*data);
            if (problems.empty()) {
                try {
                    EncodeStream(*data);
                } catch (const std::exception& e) {
                    problems.push_back({"data", std::string(e.what()) + "; it cannot be written"});
                }
            }
            return ReportProblems(name, problems, out);
        }
        Located l = Locate(content);
        if (!l.ok) {
            err << "uninstpack: " << name << ": " << l.error << "\n";
            return kExitUnusable;
        }
        DecodeResult r = Decode(content, l);
        if (!r.ok) {
            err << "uninstpack: " << name << ": " << r.error
                << "; the uninstaller would refuse this data (message 8) and remove nothing\n";
            return kExitUnusable;
        }
        std::vector<Problem> problems = CheckChunks(r.chunks);
        std::vector<Problem> more = CheckData(r.data);
        problems.insert(problems.end(), more.begin(), more.end());
        return ReportProblems(name, problems, out);
    } catch (const std::exception& e) {
        err << "uninstpack: " << name << ": " << e.what() << "\n";
        return kExitUnusable;
    }
}

int RunInspect(const std::string& path, bool json, std::ostream& out, std::ostream& err) {
    Bytes file;
    if (!ReadFile(path, file, err)) return kExitUnusable;
    return InspectBytes(file, path, json, out, err);
}

int RunVerify(const std::string& path, std::ostream& out, std::ostream& err) {
    Bytes content;
    if (!ReadFile(path, content, err)) return kExitUnusable;
    return VerifyBytes(content, path, out, err);
}

int RunBuild(const std::string& manifestPath, const std::string& stubPath, const std::string& outPath,
             std::ostream& out, std::ostream& err) {
    Bytes manifest, stub;
    if (!ReadFile(manifestPath, manifest, err) || !ReadFile(stubPath, stub, err)) return kExitUnusable;
    std::optional<UninstallData> data = LoadManifest(manifest, manifestPath, err);
    if (!data) return kExitUnusable;
    std::optional<uint32_t> builtIn = GetDataOffset(stub);
    // A stub that already carries data would hand its old stream to the self-removal copy.
    if (builtIn && *builtIn != 0 && *builtIn < stub.size()) {
        err << "uninstpack: " << stubPath << ": already carries uninstall data from file offset " << *builtIn
            << "; give the bare program part\n";
        return kExitUnusable;
    }
    Bytes built;
    try {
        built = BuildUninstaller(stub, EncodeStream(*data));
    } catch (const std::exception& e) {
        err << "uninstpack: " << (GetDataOffset(stub) ? manifestPath : stubPath) << ": " << e.what() << "\n";
        return kExitUnusable;
    }
    for (const Problem& p : CheckData(*data)) err << "uninstpack: warning: " << manifestPath << ": " << p.where << ": " << p.what << "\n";
    if (!WriteFile(outPath, built, err)) return kExitUnusable;
    out << "wrote " << outPath << ": program part of " << stub.size() << " bytes, data of " << built.size() - stub.size()
        << " bytes (" << data->messages.size() << " messages, " << data->files.size() << " file, "
        << data->shortcuts.size() << " shortcut and " << data->registry.size() << " registry records)\n";
    return kExitClean;
}

}  // namespace uninstpack
