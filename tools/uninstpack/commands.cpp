// build, inspect, verify and languages. Nothing thrown by a damaged input leaves these functions:
// every failure becomes one line naming the input (and, for a file, the offset or the system's
// reason) and exit code 2. The inputs are never written: build writes a new file beside its
// output and renames it over the output only when it is not one of them.
#include "tools/uninstpack/commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sstream>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "tools/uninstpack/checks.h"
#include "tools/uninstpack/languages.h"
#include "tools/uninstpack/manifest.h"
#include "tools/uninstpack/text.h"

namespace uninstpack {

namespace fs = std::filesystem;

namespace {

std::string Reason(int error) { return std::strerror(error); }

// A file whose status cannot be read counts as missing; the open that follows gives the reason.
fs::file_status Status(const fs::path& path) {
    std::error_code ec;
    return fs::status(path, ec);
}

bool ReadInput(const std::string& path, const Options& options, Bytes& bytes, std::ostream& err) {
    if (path == "-") {
        if (!options.input) {
            err << "uninstpack: -: standard input cannot be read here\n";
            return false;
        }
        bytes.assign(std::istreambuf_iterator<char>(*options.input), std::istreambuf_iterator<char>());
        if (options.input->bad()) {
            err << "uninstpack: -: cannot read standard input\n";
            return false;
        }
        return true;
    }
    if (fs::is_directory(Status(path))) {
        err << "uninstpack: " << path << ": cannot read: it is a folder; give a file\n";
        return false;
    }
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        err << "uninstpack: " << path << ": cannot open: " << Reason(errno) << "\n";
        return false;
    }
    bytes.clear();
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    int error = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (error) {
        err << "uninstpack: " << path << ": cannot read: " << Reason(error) << "\n";
        return false;
    }
    return true;
}

// The file a path names once symbolic links are followed: the output is written through them.
fs::path FollowLinks(fs::path path) {
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
        fs::path target = fs::read_symlink(path, ec);
        if (ec) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

bool SameFile(const fs::path& a, const std::string& b) {
    if (b.empty() || b == "-") return false;
    std::error_code ec;
    bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

uint32_t U32At(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24);
}

const char* TagName(uint16_t tag) {
    switch (tag) {
    case ChunkTag::MessageTable: return "MessageTable";
    case ChunkTag::FileList: return "FileList";
    case ChunkTag::ShortcutList: return "ShortcutList";
    case ChunkTag::RegistryList: return "RegistryList";
    case ChunkTag::RunSettings: return "RunSettings";
    case ChunkTag::Integrity: return "Integrity";
    case ChunkTag::End: return "End";
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
    LocatorSearch found = SearchDataLocator(file);
    if (found.outcome == LocatorSearch::Missing) {
        l.error = "not an uninstaller nor its program part (no data locator in its " + std::to_string(file.size()) +
                  " bytes), and not a manifest (a JSON object)";
    } else if (found.outcome == LocatorSearch::Repeated) {
        l.error = "the locator marker occurs at file offset " + std::to_string(found.at) + " and again at " +
                  std::to_string(found.again) + "; no writer can tell which one the program reads";
    } else if (found.outcome == LocatorSearch::CutShort) {
        l.error = "the locator at file offset " + std::to_string(found.at) + " is cut short by the end of the file";
    } else {
        l.markerAt = found.at;
        l.dataOffset = *GetDataOffset(file);
        if (l.dataOffset == 0)
            l.error = "the DataOffset at file offset " + std::to_string(found.at + kDataLocatorMarkerSize) +
                      " is 0: the file carries no uninstall data";
        else if (l.dataOffset > file.size())
            l.error = "the DataOffset at file offset " + std::to_string(found.at + kDataLocatorMarkerSize) + " is " +
                      std::to_string(l.dataOffset) + ", past the end of the " + std::to_string(file.size()) +
                      "-byte file";
        else if (l.markerAt + kDataLocatorSize > l.dataOffset)
            l.error = "the locator at file offset " + std::to_string(l.markerAt) + " lies inside the data at " +
                      std::to_string(l.dataOffset) + ", not in the program part";
        else
            l.ok = true;
    }
    return l;
}

// Where the stream ends: at the certificate table of a signed uninstaller, else at the file's end.
size_t StreamEnd(const Bytes& file, const Located& l) {
    std::optional<CertificateTable> cert = FindCertificateTable(file);
    if (cert && cert->offset >= l.dataOffset && cert->offset <= file.size()) return cert->offset;
    return file.size();
}

DecodeResult Decode(const Bytes& file, const Located& l) {
    DecodeResult r = DecodeStream(Bytes(file.begin() + l.dataOffset, file.begin() + StreamEnd(file, l)));
    if (!r.ok) {
        // The reader names stream offsets; a person with a hex viewer wants the file's.
        r.error = "file offset " + std::to_string(l.dataOffset + r.errorOffset) + ", stream " + r.error;
    }
    return r;
}

std::string Flags(uint8_t flags) {
    std::string names;
    for (const FlagName& f : kFileFlags)
        if (flags & f.bit) names += (names.empty() ? "" : ",") + std::string(f.name);
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

// Prints the findings; exit 1 for an error, or for a warning under --strict.
int ReportProblems(const std::string& name, const std::vector<Problem>& problems, const Options& options,
                   std::ostream& out) {
    size_t errors = 0;
    for (const Problem& p : problems) errors += p.error;
    size_t warnings = problems.size() - errors;
    int rc = errors || (warnings && options.strict) ? kExitProblems : kExitClean;
    if (options.json) {
        Json report = Json::object();
        report["file"] = name;
        Json list = Json::array();
        for (const Problem& p : problems)
            list.push_back(Json{{"where", p.where}, {"what", p.what}, {"severity", p.error ? "error" : "warning"}});
        report["problems"] = list;
        report["errors"] = errors;
        report["warnings"] = warnings;
        report["exitCode"] = rc;
        out << report.dump(2) << "\n";
        return rc;
    }
    for (const Problem& p : problems)
        out << name << ": " << (p.error ? "error: " : "warning: ") << p.where << ": " << p.what << "\n";
    if (problems.empty()) out << name << ": no problems found\n";
    else
        out << name << ": " << errors << (errors == 1 ? " error, " : " errors, ") << warnings
            << (warnings == 1 ? " warning" : " warnings") << (rc ? "" : " (--strict makes warnings fail)") << "\n";
    return rc;
}

bool LooksLikeManifest(const Bytes& content) {
    size_t i = 0;
    if (content.size() >= 3 && content[0] == 0xEF && content[1] == 0xBB && content[2] == 0xBF) i = 3;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t' || content[i] == '\r' || content[i] == '\n'))
        ++i;
    return i < content.size() && content[i] == '{';
}

// nlohmann's texts begin with its own error name in brackets, which means nothing to an author.
std::string JsonReason(const nlohmann::json::exception& e) {
    std::string what = e.what();
    size_t close = what.find("] ");
    return what[0] == '[' && close != std::string::npos ? what.substr(close + 2) : what;
}

// Parses a manifest, its "${NAME}" replaced first, or reports why it cannot be used and returns
// nothing: every mistake, and the errors of the records no mistake is in, so one run names all
// there is to mend. A definition no text uses is noted on `notes`: most likely a misspelt name.
std::optional<UninstallData> LoadManifest(const Bytes& content, const std::string& name, const Options& options,
                                          std::ostream& err, std::ostream& notes) {
    size_t skip = content.size() >= 3 && content[0] == 0xEF && content[1] == 0xBB && content[2] == 0xBF ? 3 : 0;
    try {
        std::vector<std::string> twice;
        Json manifest = ParseJson(std::string(content.begin() + skip, content.end()), twice);
        for (const std::string& unused : ApplyDefines(manifest, options.defines))
            notes << "uninstpack: " << name << ": note: --define " << unused << " is used by no text\n";
        ManifestReading reading = ReadManifest(manifest);
        reading.mistakes.insert(reading.mistakes.begin(), twice.begin(), twice.end());
        if (reading.mistakes.empty()) return reading.data;
        for (const std::string& mistake : reading.mistakes) err << "uninstpack: " << name << ": " << mistake << "\n";
        for (const Problem& p : CheckData(reading.data))
            if (p.error && std::find(reading.spoiled.begin(), reading.spoiled.end(), p.where) == reading.spoiled.end())
                err << "uninstpack: " << name << ": " << p.where << ": " << p.what << "\n";
    } catch (const ManifestError& e) {
        err << "uninstpack: " << name << ": " << e.what() << "\n";
    } catch (const nlohmann::json::exception& e) {
        err << "uninstpack: " << name << ": not a JSON manifest: " << JsonReason(e) << "\n";
    }
    return std::nullopt;
}

// Findings that only a built file can have: how it is sealed and signed.
void CheckFile(const Bytes& file, const Located& l, const DecodeResult& r, std::vector<Problem>& problems) {
    if (!r.sealed)
        problems.push_back({"data", "carry no integrity chunk, so damage to them cannot be detected; the uninstaller "
                                    "would remove whatever a damaged record names (build writes the chunk)"});
    bool afterSeal = false;
    for (const ChunkInfo& c : r.chunks) {
        if (afterSeal && c.tag != ChunkTag::End)
            problems.push_back({"chunk at stream offset " + std::to_string(c.offset),
                                "follows the integrity chunk, so damage to it cannot be detected"});
        afterSeal = afterSeal || c.tag == ChunkTag::Integrity;
    }
    std::optional<CertificateTable> cert = FindCertificateTable(file);
    if (cert && cert->offset < l.dataOffset)
        problems.push_back({"signature", "the certificate table at file offset " + std::to_string(cert->offset) +
                                             " lies inside the program part: the file was signed before the data "
                                             "were appended, and its signature no longer matches; sign after build",
                            true});
}

}  // namespace

// Refuses an output that is an input, not a regular file, or read-only (unless forced); then
// writes a new file in the output's folder and renames it over the output, so a failure leaves
// the old output, and a reader never sees half an uninstaller.
bool WriteOutput(const std::string& outPath, const Bytes& bytes, const char* what, const std::string& manifestPath,
                 const std::string& stubPath, const Options& options, std::ostream& out, std::ostream& err) {
    if (outPath == "-") {
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) err << "uninstpack: -: cannot write standard output\n";
        return static_cast<bool>(out);
    }
    const std::string prefix = "uninstpack: " + outPath + ": ";
    fs::path target = FollowLinks(outPath);
    fs::file_status status = Status(target);
    bool exists = fs::exists(status);
    if (exists) {
        if (fs::is_directory(status)) {
            err << prefix << "cannot write " << what << ": it is a folder; give a file name\n";
            return false;
        }
        if (!fs::is_regular_file(status)) {
            err << prefix << "cannot write " << what << ": it is not a regular file (a device, a pipe or a socket); "
                             "give a file name\n";
            return false;
        }
        if (SameFile(target, manifestPath) || SameFile(target, stubPath)) {
            err << prefix << "cannot write " << what << ": it is the "
                << (SameFile(target, manifestPath) ? "manifest" : "stub")
                << " given as input, which would be destroyed; give another output\n";
            return false;
        }
        if ((status.permissions() & fs::perms::owner_write) == fs::perms::none && !options.force) {
            err << prefix << "cannot write " << what << ": the file is read-only; give --force to replace it\n";
            return false;
        }
    }
    fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    fs::path temp = folder / ("." + target.filename().string() + ".uninstpack-" + std::to_string(getpid()));
    errno = 0;
    std::FILE* f = std::fopen(temp.string().c_str(), "wb");
    if (!f) {
        err << prefix << "cannot write " << what << ": " << Reason(errno) << "\n";
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
    int error = errno;
    if (std::fclose(f) != 0 && written) {
        written = false;
        error = errno;
    }
    std::error_code ec;
    if (!written) {
        fs::remove(temp, ec);
        err << prefix << "cannot write " << what << ": " << Reason(error) << "\n";
        return false;
    }
    if (exists) fs::permissions(temp, status.permissions(), ec);
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        err << prefix << "cannot replace the file: " << ec.message() << "\n";
        return false;
    }
    return true;
}

std::optional<CertificateTable> FindCertificateTable(const Bytes& file) {
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
    size_t pe = U32At(file, 0x3C);
    if (pe > file.size() || file.size() - pe < 24 + 2 || U32At(file, pe) != 0x00004550) return std::nullopt;
    size_t optional = pe + 24;
    uint16_t magic = static_cast<uint16_t>(file[optional] | file[optional + 1] << 8);
    size_t directories = magic == 0x10B ? optional + 96 : magic == 0x20B ? optional + 112 : 0;
    // The security directory is the fifth; NumberOfRvaAndSizes stands just before the list.
    if (!directories || directories + 5 * 8 > file.size() || U32At(file, directories - 4) < 5) return std::nullopt;
    CertificateTable t{U32At(file, directories + 4 * 8), U32At(file, directories + 4 * 8 + 4)};
    if (t.size == 0) return std::nullopt;
    return t;
}

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
        size_t end = StreamEnd(file, l);
        out << "file: " << name << " (" << file.size() << " bytes)\n"
            << "locator: at file offset " << l.markerAt << ", DataOffset " << l.dataOffset << " (" << Hex(l.dataOffset)
            << "): program part of " << l.dataOffset << " bytes, stream of " << end - l.dataOffset << " bytes\n";
        std::optional<CertificateTable> cert = FindCertificateTable(file);
        if (cert)
            out << "signature: certificate table at file offset " << cert->offset << ", " << cert->size
                << " bytes (not part of the stream)\n";
        else
            out << "signature: none\n";
        PrintChunks(r.chunks, l.dataOffset, out);
        if (!r.ok) {
            err << "uninstpack: " << name << ": " << r.error << "\n";
            return kExitUnusable;
        }
        out << "integrity: " << (r.sealed ? "CRC-32 matches" : "no integrity chunk (damage cannot be detected)") << "\n";
        PrintData(r.data, out);
        return kExitClean;
    } catch (const std::exception& e) {
        err << "uninstpack: " << name << ": " << e.what() << "\n";
        return kExitUnusable;
    }
}

int VerifyBytes(const Bytes& content, const std::string& name, std::ostream& out, std::ostream& err,
                const Options& options) {
    std::ostringstream unusable;
    int rc = kExitUnusable;
    try {
        if (LooksLikeManifest(content)) {
            std::optional<UninstallData> data = LoadManifest(content, name, options, unusable, err);
            if (data) {
                std::vector<Problem> problems = CheckData(*data);
                try {
                    EncodeStream(*data);
                } catch (const std::exception& e) {
                    problems.push_back({"data", std::string(e.what()) + "; it cannot be written", true});
                }
                rc = ReportProblems(name, problems, options, out);
            }
        } else {
            Located l = Locate(content);
            if (!l.ok) {
                unusable << "uninstpack: " << name << ": " << l.error << "\n";
            } else {
                DecodeResult r = Decode(content, l);
                if (!r.ok) {
                    unusable << "uninstpack: " << name << ": " << r.error
                             << "; the uninstaller would refuse this data (message 8) and remove nothing\n";
                } else {
                    std::vector<Problem> problems = CheckChunks(r.chunks);
                    std::vector<Problem> more = CheckData(r.data);
                    problems.insert(problems.end(), more.begin(), more.end());
                    CheckFile(content, l, r, problems);
                    rc = ReportProblems(name, problems, options, out);
                }
            }
        }
    } catch (const std::exception& e) {
        unusable << "uninstpack: " << name << ": " << e.what() << "\n";
        rc = kExitUnusable;
    }
    if (rc == kExitUnusable) {
        err << unusable.str();
        if (options.json) {
            std::string text = unusable.str();
            while (!text.empty() && text.back() == '\n') text.pop_back();
            out << Json{{"file", name}, {"unusable", text}, {"exitCode", rc}}.dump(2) << "\n";
        }
    }
    return rc;
}

int RunInspect(const std::string& path, bool json, std::ostream& out, std::ostream& err, const Options& options) {
    Bytes file;
    if (!ReadInput(path, options, file, err)) return kExitUnusable;
    return InspectBytes(file, path, json, out, err);
}

int RunVerify(const std::string& path, std::ostream& out, std::ostream& err, const Options& options) {
    Bytes content;
    if (!ReadInput(path, options, content, err)) {
        if (options.json) out << Json{{"file", path}, {"unusable", "cannot read the file"}, {"exitCode", 2}}.dump(2) << "\n";
        return kExitUnusable;
    }
    return VerifyBytes(content, path, out, err, options);
}

int RunBuild(const std::string& manifestPath, const std::string& stubPath, const std::string& outPath,
             std::ostream& out, std::ostream& err, const Options& options) {
    try {
        Bytes manifest, stub;
        if (!ReadInput(manifestPath, options, manifest, err) || !ReadInput(stubPath, options, stub, err))
            return kExitUnusable;
        std::optional<UninstallData> data = LoadManifest(manifest, manifestPath, options, err, err);
        if (!data) return kExitUnusable;
        const std::string stubPrefix = "uninstpack: " + stubPath + ": ";
        std::optional<CertificateTable> cert = FindCertificateTable(stub);
        if (cert) {
            err << stubPrefix << "the stub is signed (certificate table at file offset " << cert->offset << ", "
                << cert->size << " bytes); appending data would break its signature. Give the unsigned program "
                << "part and sign the uninstaller after build (signtool or osslsigncode)\n";
            return kExitUnusable;
        }
        std::optional<uint32_t> builtIn = GetDataOffset(stub);
        if (!builtIn) {
            err << stubPrefix << "not the uninstaller's program part (no single data locator in its " << stub.size()
                << " bytes)\n";
            return kExitUnusable;
        }
        // A stub that already carries data would hand its old stream to the self-removal copy.
        if (*builtIn != 0 && *builtIn < stub.size()) {
            err << stubPrefix << "already carries uninstall data from file offset " << *builtIn
                << "; give the bare program part\n";
            return kExitUnusable;
        }
        std::vector<Problem> problems = CheckData(*data);
        size_t errors = 0;
        for (const Problem& p : problems) {
            err << "uninstpack: " << manifestPath << ": " << (p.error ? "" : "warning: ") << p.where << ": " << p.what
                << "\n";
            errors += p.error;
        }
        if (errors) {
            err << "uninstpack: " << manifestPath << ": refused: " << errors << (errors == 1 ? " record" : " records")
                << " no author means; nothing written\n";
            return kExitUnusable;
        }
        if (!problems.empty() && options.strict) {
            err << "uninstpack: " << manifestPath << ": " << problems.size()
                << (problems.size() == 1 ? " warning" : " warnings") << " with --strict; nothing written\n";
            return kExitProblems;
        }
        Bytes built;
        try {
            built = BuildUninstaller(stub, EncodeSealedStream(*data));
        } catch (const std::exception& e) {
            err << "uninstpack: " << manifestPath << ": " << e.what() << "\n";
            return kExitUnusable;
        }
        if (!WriteOutput(outPath, built, "the uninstaller", manifestPath, stubPath, options, out, err)) return kExitUnusable;
        // With "-o -" the uninstaller itself is the standard output; the summary goes with the errors.
        std::ostream& report = outPath == "-" ? err : out;
        report << "wrote " << outPath << ": program part of " << stub.size() << " bytes, data of "
               << built.size() - stub.size() << " bytes (" << data->messages.size() << " messages, "
               << data->files.size() << " file, " << data->shortcuts.size() << " shortcut and "
               << data->registry.size() << " registry records)\n";
        return kExitClean;
    } catch (const std::exception& e) {
        err << "uninstpack: " << manifestPath << ": " << e.what() << "\n";
        return kExitUnusable;
    }
}

int RunLanguages(std::ostream& out) {
    for (const LanguageSet& s : LanguageSets()) out << s.tag << "\t" << s.name << "\n";
    return kExitClean;
}

}  // namespace uninstpack
