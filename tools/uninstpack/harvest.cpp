// Harvest walks a staged folder and writes one record per folder and file, a folder's record
// before what it holds, siblings by name (case folded as Windows compares them) so the same tree
// gives the same bytes on Linux and Windows. Links are recorded, never followed: what they
// point to belongs to whoever made the link. Nothing is written unless every record is sound.
#include "tools/uninstpack/harvest.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "tools/uninstpack/checks.h"
#include "tools/uninstpack/commands.h"
#include "tools/uninstpack/manifest.h"
#include "tools/uninstpack/text.h"

namespace uninstpack {

namespace fs = std::filesystem;

namespace {

struct HarvestError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::u16string Fold(const std::u16string& s) {
    std::u16string out;
    for (char16_t c : s) out.push_back(c == u'/' ? u'\\' : FoldAscii(c));
    return out;
}

// Every refusal is printed as it is found and counted, so one run names them all.
struct Report {
    std::ostream& err;
    size_t errors = 0;
    void Error(const std::string& what) {
        err << "uninstpack harvest: " << what << "\n";
        ++errors;
    }
};

// A name as the uninstaller will see it. Linux hands out bytes, which must be UTF-8 to mean a
// Windows name (nothing when they are not); Windows hands out UTF-16 already.
std::optional<std::u16string> NameOf(const fs::path& path) {
#ifdef _WIN32
    std::wstring w = path.filename().wstring();
    return std::u16string(w.begin(), w.end());
#else
    return Utf8ToUtf16(path.filename().string());
#endif
}

// Why Windows cannot hold a name a Linux staging folder can, or empty.
std::string NameMistake(const std::u16string& name) {
    for (char16_t c : name)
        if (c < 0x20 || std::u16string(u"<>:\"|?*\\").find(c) != std::u16string::npos)
            return "holds the character " + Printable(std::u16string(1, c)) + ", which no Windows name holds";
    if (name.back() == u' ' || name.back() == u'.')
        return "ends in a space or a dot, which Windows drops, so the installed file would have another name";
    std::u16string stem = Fold(name.substr(0, name.find(u'.')));
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    static const char16_t* const kDevices[] = {u"con", u"prn", u"aux", u"nul"};
    bool device = std::find(std::begin(kDevices), std::end(kDevices), stem) != std::end(kDevices);
    if (stem.size() == 4 && (stem.compare(0, 3, u"com") == 0 || stem.compare(0, 3, u"lpt") == 0) && stem[3] >= u'1' &&
        stem[3] <= u'9')
        device = true;
    if (device) return "is a device name on Windows, which no file there can have";
    return {};
}

// `*` any run of characters within one step, `?` one character; letters A to Z without case.
bool Glob(const std::u16string& pattern, const std::u16string& text, size_t p = 0, size_t t = 0) {
    for (; p < pattern.size(); ++p, ++t) {
        if (pattern[p] == u'*') {
            for (size_t k = t; k <= text.size(); ++k) {
                if (Glob(pattern, text, p + 1, k)) return true;
                if (k < text.size() && text[k] == u'/') break;
            }
            return false;
        }
        if (t >= text.size() || (text[t] == u'/' && pattern[p] != u'/')) return false;
        if (pattern[p] != u'?' && FoldAscii(pattern[p]) != FoldAscii(text[t])) return false;
    }
    return t == text.size();
}

// A pattern of --flag (with the flag it sets) or of --exclude (bit 0).
struct FlagRule {
    std::string option;  // as given, with its option's name, for messages
    uint8_t bit = 0;
    std::u16string pattern;
    bool byPath = false;  // a pattern with "/" matches the path below DIR, else the name
    size_t matched = 0;

    bool Matches(const std::u16string& name, const std::u16string& relative) const {
        return Glob(pattern, byPath ? relative : name);
    }
};

void SetPattern(FlagRule& rule, const std::string& text) {
    std::optional<std::u16string> pattern = Utf8ToUtf16(text);
    if (!pattern) throw HarvestError(rule.option + ": the pattern is not UTF-8");
    for (char16_t& c : *pattern)
        if (c == u'\\') c = u'/';
    rule.pattern = *pattern;
    rule.byPath = pattern->find(u'/') != std::u16string::npos;
}

FlagRule ParseFlag(const std::string& option) {
    FlagRule rule;
    rule.option = "--flag " + option;
    size_t eq = option.find('=');
    std::string name = option.substr(0, eq);
    for (const FlagName& n : kFileFlags)
        if (name == n.name) rule.bit = n.bit;
    if (eq == std::string::npos || eq + 1 == option.size() || !rule.bit)
        throw HarvestError(rule.option + ": write NAME=PATTERN, NAME one of shared, font, com, in-use (as in "
                                         "--flag in-use=*.exe)");
    SetPattern(rule, option.substr(eq + 1));
    return rule;
}

FlagRule ParseExclude(const std::string& pattern) {
    FlagRule rule;
    rule.option = "--exclude " + pattern;
    if (pattern.empty()) throw HarvestError("--exclude needs a PATTERN (as in --exclude *.pdb)");
    SetPattern(rule, pattern);
    return rule;
}

struct Record {
    std::u16string directory, fileName;
    uint8_t flags = 0;
    std::string source;  // the staged path it comes from, for messages
};

class Walker {
public:
    Walker(std::vector<FlagRule>& rules, std::vector<FlagRule>& excludes, Report& report)
        : rules_(rules), excludes_(excludes), report_(report), err_(report.err) {}

    // Appends the records of what `folder` holds; `relative` is its path below DIR ("a/b").
    void Walk(const fs::path& folder, const std::u16string& directory, const std::u16string& relative) {
        struct Entry {
            std::u16string name;
            fs::path path;
            bool folder = false, descend = false;
        };
        std::vector<Entry> entries;
        std::error_code ec;
        fs::directory_iterator it(folder, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            Entry e;
            e.path = it->path();
            std::optional<std::u16string> name = NameOf(e.path);
            if (!name) {
                report_.Error(e.path.string() + ": the name is not UTF-8, so it names no Windows file; rename it");
                continue;
            }
            e.name = *name;
            if (Excluded(e.name, Join(relative, e.name))) continue;
            std::string mistake = NameMistake(e.name);
            if (!mistake.empty()) {
                report_.Error(e.path.u8string() + ": the name " + mistake + "; rename it");
                continue;
            }
            std::error_code sec;
            fs::file_status own = fs::symlink_status(e.path, sec);
            if (fs::is_symlink(own)) {
                fs::file_status target = fs::status(e.path, sec);
                e.folder = fs::is_directory(target);
                err_ << "uninstpack harvest: " << e.path.u8string() << ": a symbolic link "
                     << (e.folder ? "to a folder; recorded as a folder record, and what the folder holds is not"
                                  : sec ? "that points nowhere; recorded as a file record"
                                        : "to a file; recorded as a file record")
                     << "\n";
            } else if (fs::is_directory(own)) {
                e.folder = e.descend = true;
            } else if (!fs::is_regular_file(own)) {
                err_ << "uninstpack harvest: " << e.path.u8string()
                     << ": neither a file nor a folder (a device, pipe or socket); not recorded\n";
                continue;
            }
            entries.push_back(e);
        }
        if (ec) report_.Error(folder.u8string() + ": cannot read the folder: " + ec.message());
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            std::u16string fa = Fold(a.name), fb = Fold(b.name);
            return fa != fb ? fa < fb : a.name < b.name;
        });
        for (size_t i = 1; i < entries.size(); ++i)
            if (Fold(entries[i].name) == Fold(entries[i - 1].name))
                report_.Error(entries[i].path.u8string() + ": differs from " + entries[i - 1].path.filename().u8string() +
                              " only in case; one Windows folder holds only one of them");
        for (const Entry& e : entries)
            if (!e.folder) records_.push_back({directory, e.name, FlagsFor(e.name, Join(relative, e.name)), e.path.u8string()});
        for (const Entry& e : entries) {
            if (!e.folder) continue;
            std::u16string sub = directory + u'\\' + e.name;
            records_.push_back({sub, u"", 0, e.path.u8string()});
            if (e.descend) Walk(e.path, sub, Join(relative, e.name));
        }
    }

    std::vector<Record>& Records() { return records_; }

private:
    static std::u16string Join(const std::u16string& relative, const std::u16string& name) {
        return relative.empty() ? name : relative + u'/' + name;
    }

    uint8_t FlagsFor(const std::u16string& name, const std::u16string& relative) {
        uint8_t bits = 0;
        for (FlagRule& r : rules_)
            if (r.Matches(name, relative)) {
                bits |= r.bit;
                ++r.matched;
            }
        return bits;
    }

    // An excluded folder is left out with everything in it.
    bool Excluded(const std::u16string& name, const std::u16string& relative) {
        bool excluded = false;
        for (FlagRule& r : excludes_)
            if (r.Matches(name, relative)) {
                excluded = true;
                ++r.matched;
            }
        return excluded;
    }

    std::vector<FlagRule>& rules_;
    std::vector<FlagRule>& excludes_;
    Report& report_;
    std::ostream& err_;
    std::vector<Record> records_;
};

Json ToJson(const Record& r) {
    Json flags = Json::array();
    for (const FlagName& n : kFileFlags)
        if (r.flags & n.bit) flags.push_back(n.name);
    return Json{{"directory", Plain(r.directory)}, {"fileName", Plain(r.fileName)}, {"flags", flags}};
}

// What a file entry of a manifest names, as the uninstaller compares paths.
std::u16string EntryKey(const Json& entry) {
    auto text = [&entry](const char* field) {
        if (!entry.is_object() || !entry.contains(field) || !entry[field].is_string()) return std::u16string();
        return Fold(Utf8ToUtf16(entry[field].get<std::string>()).value_or(std::u16string()));
    };
    std::u16string dir = text("directory");
    while (dir.size() > 1 && dir.back() == u'\\') dir.pop_back();
    return dir + u'|' + text("fileName");
}

std::string ReadText(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) throw HarvestError(path + ": cannot open the manifest to merge into");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw HarvestError(path + ": cannot read the manifest to merge into");
    return text;
}

// The hand-written manifest with the harvested records in front of its own; a record of its
// own that names a harvested folder or file takes that record's place, so its flags win and the
// order stays the tree's.
Json Merge(const std::string& path, const Json& harvested, Report& report) {
    Json hand;
    std::vector<std::string> twice;
    try {
        hand = ParseJson(ReadText(path), twice);
    } catch (const Json::parse_error& e) {
        throw HarvestError(path + ": not a JSON manifest: " + e.what());
    }
    for (const std::string& mistake : twice) report.Error(path + ": " + mistake);
    if (!hand.is_object()) throw HarvestError(path + ": not a JSON manifest (an object)");
    Json own = hand.contains("files") ? hand["files"] : Json::array();
    if (!own.is_array()) throw HarvestError(path + ": files: expected a list");
    Json files = harvested;
    std::vector<std::u16string> keys;
    for (const Json& f : files) keys.push_back(EntryKey(f));
    Json rest = Json::array();
    for (const Json& f : own) {
        auto at = std::find(keys.begin(), keys.end(), EntryKey(f));
        if (at == keys.end()) rest.push_back(f);
        else files[at - keys.begin()] = f;
    }
    for (const Json& f : rest) files.push_back(f);
    hand["files"] = files;
    return hand;
}

// Indented as a person writes a manifest: one line per file record, so a change in the tree is
// a change of lines in version control.
std::string Serialize(const Json& manifest) {
    std::string text = "{\n";
    size_t left = manifest.size();
    for (auto it = manifest.begin(); it != manifest.end(); ++it) {
        text += "  " + Json(it.key()).dump() + ": ";
        if (it.key() == "files" && it->is_array() && !it->empty()) {
            text += "[\n";
            for (size_t i = 0; i < it->size(); ++i)
                text += "    " + (*it)[i].dump() + (i + 1 < it->size() ? ",\n" : "\n");
            text += "  ]";
        } else {
            std::string value = it->dump(2);
            for (size_t at = value.find('\n'); at != std::string::npos; at = value.find('\n', at + 3))
                value.insert(at + 1, "  ");
            text += value;
        }
        text += --left ? ",\n" : "\n";
    }
    return text + "}\n";
}

bool Inside(const fs::path& path, const fs::path& folder) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec), f = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    auto pi = p.begin();
    for (auto fi = f.begin(); fi != f.end(); ++fi, ++pi) {
        if (fi->empty()) continue;  // a trailing separator
        if (pi == p.end() || *pi != *fi) return false;
    }
    return true;
}

// Everything that can be told before the walk; false when it cannot start.
bool CheckOptions(const HarvestOptions& o, std::u16string& root, std::vector<FlagRule>& rules,
                  std::vector<FlagRule>& excludes, Report& report) {
    size_t before = report.errors;
    auto attempt = [&report](auto&& step) {
        try {
            step();
        } catch (const HarvestError& e) {
            report.Error(e.what());
        }
    };
    if (o.dir.empty()) report.Error("DIR is missing: the staged folder to harvest");
    std::optional<std::u16string> install = Utf8ToUtf16(o.installDir);
    if (o.installDir.empty())
        report.Error("--install-dir PATH is missing: where the tree will stand (\"C:\\Program Files\\App\", or "
                     "\".\" for the uninstaller's own folder)");
    else if (!install)
        report.Error("--install-dir: not UTF-8");
    else {
        root = *install;
        for (char16_t& c : root)
            if (c == u'/') c = u'\\';
        while (root.size() > 1 && root.back() == u'\\' && root[root.size() - 2] != u':' && root != u".\\") root.pop_back();
        if (root == u".\\") root = u".";
        std::string mistake = PathMistake(root, PathKind::Directory);
        if (!mistake.empty()) report.Error("--install-dir " + Printable(root) + " " + mistake);
    }
    for (const std::string& f : o.flags) attempt([&] { rules.push_back(ParseFlag(f)); });
    for (const std::string& x : o.excludes) attempt([&] { excludes.push_back(ParseExclude(x)); });
    if (!o.dir.empty()) {
        const fs::path dir = fs::u8path(o.dir);
        std::error_code ec;
        fs::file_status status = fs::status(dir, ec);
        if (!fs::is_directory(status))
            report.Error(o.dir + (fs::exists(status) ? ": not a folder; give the staged folder" : ": no such folder"));
        else if (o.output != "-" && Inside(fs::u8path(o.output), dir))
            report.Error(o.output + ": lies in the staged folder, where the next harvest would record it; write it "
                                    "elsewhere");
        if (!o.merge.empty() && o.output != "-" && fs::equivalent(fs::u8path(o.output), fs::u8path(o.merge), ec))
            report.Error(o.output + ": is the manifest given to --merge, which would be replaced; write elsewhere");
    }
    return report.errors == before;
}

ExitCode Harvest(const HarvestOptions& o, std::ostream& out, std::ostream& err) {
    Report report{err};
    std::u16string root;
    std::vector<FlagRule> rules, excludes;
    if (!CheckOptions(o, root, rules, excludes, report)) return kExitUnusable;

    Walker walker(rules, excludes, report);
    walker.Records().push_back({root, u"", 0, o.dir});
    walker.Walk(fs::u8path(o.dir), root, u"");
    for (const std::vector<FlagRule>* list : {&rules, &excludes})
        for (const FlagRule& r : *list)
            if (!r.matched) err << "uninstpack harvest: " << r.option << " matched " << (r.bit ? "no file" : "nothing") << "\n";

    Json files = Json::array();
    for (const Record& r : walker.Records()) files.push_back(ToJson(r));
    Json manifest = {{"files", files}};
    if (!o.merge.empty()) {
        try {
            manifest = Merge(o.merge, files, report);
        } catch (const HarvestError& e) {
            report.Error(e.what());
        }
    }

    // The same checks as build, so a harvested tree is refused here, naming the staged path,
    // rather than later by build.
    ManifestReading reading = ReadManifest(manifest);
    for (const std::string& mistake : reading.mistakes)
        report.Error((o.merge.empty() ? "" : o.merge + " with the harvested records: ") + mistake);
    // A finding about a file record names the staged path the record comes from (a hand-written
    // one its record); findings about the rest of a hand-written manifest are build's to report.
    std::map<std::string, std::string> sources;
    for (size_t n = 0; n < reading.data.files.size(); ++n) {
        std::string record = RecordName(RecordList::File, n);
        sources[record] = n < walker.Records().size() ? walker.Records()[n].source : record;
    }
    for (const Problem& p : CheckData(reading.data)) {
        auto source = sources.find(p.where);
        if (source == sources.end()) continue;
        if (std::find(reading.spoiled.begin(), reading.spoiled.end(), p.where) != reading.spoiled.end()) continue;
        if (p.error) report.Error(source->second + ": " + p.what);
        else err << "uninstpack harvest: warning: " << source->second << ": " << p.what << "\n";
    }
    if (report.errors) {
        err << "uninstpack harvest: " << report.errors << (report.errors == 1 ? " error" : " errors")
            << "; nothing written\n";
        return kExitUnusable;
    }
    const std::string text = Serialize(manifest);
    Options options;
    options.force = o.force;
    bool written = WriteOutput(o.output, Bytes(text.begin(), text.end()), "the manifest", o.merge, "", options, out, err);
    return written ? kExitClean : kExitUnusable;
}

}  // namespace

int RunHarvest(const HarvestOptions& options, std::ostream& out, std::ostream& err) {
    try {
        return Harvest(options, out, err);
    } catch (const HarvestError& e) {
        err << "uninstpack harvest: " << e.what() << "\n";
    } catch (const fs::filesystem_error& e) {
        err << "uninstpack harvest: " << e.what() << "\n";
    }
    return kExitUnusable;
}

}  // namespace uninstpack
