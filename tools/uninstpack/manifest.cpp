// Manifest <-> UninstallData. Strict on input: an unknown field, flag or root is an error, not
// ignored, because a misspelt field would otherwise leave something installed behind.
#include "tools/uninstpack/manifest.h"

#include <initializer_list>
#include <set>
#include <utility>

#include "tools/uninstpack/checks.h"
#include "tools/uninstpack/languages.h"
#include "tools/uninstpack/text.h"

namespace uninstpack {

namespace {

struct RootAlias {
    uint32_t root;
    const char* shortName;
    const char* longName;
};
const RootAlias kRoots[] = {{kRootClassesRoot, "HKCR", "HKEY_CLASSES_ROOT"},
                            {kRootCurrentUser, "HKCU", "HKEY_CURRENT_USER"},
                            {kRootLocalMachine, "HKLM", "HKEY_LOCAL_MACHINE"},
                            {kRootUsers, "HKU", "HKEY_USERS"}};

[[noreturn]] void Fail(const std::string& where, const std::string& what) { throw ManifestError(where + ": " + what); }

// Reading goes on past a mistake, so one run names every mistake of a manifest.
struct Reader {
    std::vector<std::string> mistakes, spoiled;

    // Runs one step of the reading; a mistake in it is noted with the record it spoils (if any)
    // and reading goes on. True when the step had none.
    template <typename Step>
    bool Try(Step&& step, const std::string& record = {}) {
        try {
            step();
            return true;
        } catch (const ManifestError& e) {
            mistakes.insert(mistakes.end(), e.mistakes.begin(), e.mistakes.end());
            if (!record.empty() && (spoiled.empty() || spoiled.back() != record)) spoiled.push_back(record);
            return false;
        }
    }
};

void CheckKeys(const Json& object, const std::string& where, std::initializer_list<const char*> known) {
    if (!object.is_object()) Fail(where, "expected an object");
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool found = false;
        std::string list;
        for (const char* k : known) {
            found = found || it.key() == k;
            list += list.empty() ? k : std::string(", ") + k;
        }
        if (!found) Fail(where, "unknown field \"" + it.key() + "\" (known: " + list + ")");
    }
}

std::u16string Text(const Json& object, const char* field, const std::string& where, bool required) {
    auto it = object.find(field);
    if (it == object.end()) {
        if (required) Fail(where, std::string("missing field \"") + field + "\"");
        return {};
    }
    if (!it->is_string()) Fail(where + "." + field, "expected a text");
    std::optional<std::u16string> text = Utf8ToUtf16(it->get<std::string>());
    if (!text) Fail(where + "." + field, "not valid UTF-8");
    return *text;
}

uint64_t Number(const Json& value, const std::string& where, uint64_t max) {
    if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<int64_t>() >= 0))
        Fail(where, "expected a whole number from 0 to " + std::to_string(max));
    uint64_t n = value.get<uint64_t>();
    if (n > max) Fail(where, std::to_string(n) + " is more than " + std::to_string(max));
    return n;
}

bool Flag(const Json& object, const char* field, const std::string& where) {
    auto it = object.find(field);
    if (it == object.end()) return false;
    if (!it->is_boolean()) Fail(where + "." + field, "expected true or false");
    return it->get<bool>();
}

std::u16string MessageText(const Json& text, const std::string& where) {
    if (!text.is_string()) Fail(where, "expected a text");
    std::optional<std::u16string> utf16 = Utf8ToUtf16(text.get<std::string>());
    if (!utf16) Fail(where, "not valid UTF-8");
    return *utf16;
}

// `given` marks the numbers the manifest wrote, so default texts fill only the others.
std::vector<std::u16string> Messages(const Json& messages, std::vector<bool>& given, Reader& read) {
    std::vector<std::u16string> out;
    if (messages.is_array()) {
        out.resize(messages.size());
        for (size_t i = 0; i < messages.size(); ++i)
            read.Try([&] { out[i] = MessageText(messages[i], "messages[" + std::to_string(i) + "]"); });
        given.assign(out.size(), true);
        return out;
    }
    if (!messages.is_object()) Fail("messages", "expected an object of texts by number (\"0\": \"...\")");
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        read.Try([&] {
            const std::string& key = it.key();
            std::string where = "messages." + key;
            bool canonical = !key.empty() && key.size() <= 5 && (key == "0" || key[0] != '0');
            for (char c : key) canonical = canonical && c >= '0' && c <= '9';
            if (!canonical || std::stoul(key) > 0xFFFE) Fail(where, "a message number is a whole number from 0 to 65534");
            size_t n = std::stoul(key);
            std::u16string text = MessageText(*it, where);
            if (out.size() <= n) {
                out.resize(n + 1);  // numbers left out are empty texts
                given.resize(n + 1, false);
            }
            out[n] = text;
            given[n] = true;
        });
    }
    return out;
}

uint8_t FileFlags(const Json& flags, const std::string& where, Reader& read, const std::string& record) {
    if (!flags.is_array()) Fail(where, "expected a list of flag names (shared, font, com, in-use)");
    uint8_t bits = 0;
    for (size_t i = 0; i < flags.size(); ++i) {
        read.Try([&] {
            std::string at = where + "[" + std::to_string(i) + "]";
            if (flags[i].is_number()) {
                bits |= static_cast<uint8_t>(Number(flags[i], at, 255));
                return;
            }
            if (!flags[i].is_string()) Fail(at, "expected a flag name");
            std::string name = flags[i].get<std::string>();
            bool known = false;
            for (const FlagName& f : kFileFlags)
                if (name == f.name) {
                    bits |= f.bit;
                    known = true;
                }
            if (!known) Fail(at, "unknown flag \"" + name + "\" (known: shared, font, com, in-use)");
        }, record);
    }
    return bits;
}

uint32_t Root(const Json& root, const std::string& where) {
    if (root.is_number()) return static_cast<uint32_t>(Number(root, where, 0xFFFFFFFFu));
    if (!root.is_string()) Fail(where, "expected HKCR, HKCU, HKLM, HKU or a number");
    std::string name = root.get<std::string>();
    for (const RootAlias& r : kRoots)
        if (name == r.shortName || name == r.longName) return r.root;
    if (name.size() > 2 && name.size() <= 10 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        size_t used = 0;
        unsigned long v = std::stoul(name, &used, 16);
        if (used == name.size()) return static_cast<uint32_t>(v);
    }
    Fail(where, "unknown root \"" + name + "\" (HKCR, HKCU, HKLM, HKU, or a number)");
}

// A path field: "/" read as "\" (as build scripts write paths), then refused when the
// uninstaller would read it otherwise than the author meant.
std::u16string PathText(const Json& object, const char* field, const std::string& where, bool required, PathKind kind) {
    std::u16string text = Text(object, field, where, required);
    for (char16_t& c : text)
        if (c == u'/') c = u'\\';
    std::string mistake = PathMistake(text, kind);
    if (!mistake.empty()) Fail(where + "." + field, Printable(text) + " " + mistake);
    return text;
}

// With "language", the messages the manifest leaves out come from the tool's set for it, with
// "product" put in; both fields or neither, since a set without the name would show a gap.
void DefaultTexts(const Json& m, std::vector<std::u16string>& messages, const std::vector<bool>& given) {
    bool hasLanguage = m.contains("language"), hasProduct = m.contains("product");
    if (!hasLanguage && !hasProduct) return;
    if (!hasLanguage) Fail("product", "is put only into the default texts of a \"language\"; name one, or leave it out");
    if (!m["language"].is_string()) Fail("language", "expected a language tag such as \"de\" or \"pt-BR\"");
    if (!hasProduct) Fail("manifest", "\"language\" needs \"product\", the name its texts put in");
    std::u16string product = Text(m, "product", "manifest", true);
    if (product.empty()) Fail("product", "is empty; the texts would name nothing");
    if (product.find(u'\0') != std::u16string::npos) Fail("product", "holds a zero character, where the uninstaller would cut it");
    std::string advice;
    const LanguageSet* set = FindLanguage(m["language"].get<std::string>(), &advice);
    if (!set) Fail("language", "no default texts for \"" + m["language"].get<std::string>() + "\": " + advice);
    std::vector<std::u16string> defaults = DefaultMessages(*set, product);
    if (messages.size() < defaults.size()) messages.resize(defaults.size());
    for (size_t n = 0; n < defaults.size(); ++n)
        if (n >= given.size() || !given[n]) messages[n] = defaults[n];
}

Json FromText(const std::u16string& text, const std::string& where) {
    std::optional<std::string> utf8 = Utf16ToUtf8(text);
    if (!utf8) Fail(where, "text " + Printable(text) + " holds an unpaired surrogate, which a manifest cannot carry");
    return *utf8;
}

}  // namespace

std::string RootName(uint32_t root) {
    for (const RootAlias& r : kRoots)
        if (r.root == root) return r.shortName;
    return {};
}

RegistryTarget SplitRegistryPath(const std::u16string& path) {
    RegistryTarget t;
    size_t last = path.rfind(u'\\');
    if (last != std::u16string::npos && last > 0 && path[last - 1] == u'\\') {
        t.isValue = true;
        t.key = path.substr(0, last - 1);
        t.value = path.substr(last + 1);
    } else {
        t.key = path;
    }
    return t;
}

std::string RecordName(RecordList list, size_t index) {
    static const char* const kLists[] = {"file", "shortcut", "registry"};
    return std::string(kLists[static_cast<size_t>(list)]) + " record " + std::to_string(index);
}

ManifestError::ManifestError(const std::vector<std::string>& all)
    : std::runtime_error([&all] {
          std::string text;
          for (const std::string& m : all) text += (text.empty() ? "" : "\n") + m;
          return text;
      }()),
      mistakes(all) {}

ManifestReading ReadManifest(const Json& m) {
    Reader read;
    ManifestReading reading;
    UninstallData& data = reading.data;
    if (!read.Try([&] { CheckKeys(m, "manifest", {"language", "product", "messages", "files", "shortcuts", "registry",
                                                  "settings"}); }) &&
        !m.is_object()) {
        reading.mistakes = read.mistakes;
        return reading;
    }
    std::vector<bool> given;
    if (m.contains("messages")) read.Try([&] { data.messages = Messages(m["messages"], given, read); });
    read.Try([&] { DefaultTexts(m, data.messages, given); });

    auto list = [&m, &read](const char* name) -> const Json& {
        static const Json kEmpty = Json::array();
        if (!m.contains(name)) return kEmpty;
        if (m[name].is_array()) return m[name];
        read.Try([name] { Fail(name, "expected a list"); });
        return kEmpty;
    };

    const Json& files = list("files");
    for (size_t i = 0; i < files.size(); ++i) {
        std::string where = "files[" + std::to_string(i) + "]", record = RecordName(RecordList::File, i);
        FileRecord r;
        read.Try([&] { CheckKeys(files[i], where, {"directory", "fileName", "flags"}); }, record);
        if (files[i].is_object()) {
            read.Try([&] { r.directory = PathText(files[i], "directory", where, true, PathKind::Directory); }, record);
            read.Try([&] { r.fileName = PathText(files[i], "fileName", where, false, PathKind::FileName); }, record);
            if (files[i].contains("flags"))
                read.Try([&] { r.flags = FileFlags(files[i]["flags"], where + ".flags", read, record); }, record);
        }
        data.files.push_back(r);
    }

    const Json& shortcuts = list("shortcuts");
    for (size_t i = 0; i < shortcuts.size(); ++i) {
        std::string where = "shortcuts[" + std::to_string(i) + "]", record = RecordName(RecordList::Shortcut, i);
        const Json& s = shortcuts[i];
        ShortcutRecord r;
        read.Try([&] { CheckKeys(s, where, {"levels", "firstFolder", "secondFolder", "fileName"}); }, record);
        if (s.is_object()) {
            if (s.contains("levels"))
                read.Try([&] { r.levels = static_cast<uint8_t>(Number(s["levels"], where + ".levels", 255)); }, record);
            read.Try([&] { r.firstFolder = PathText(s, "firstFolder", where, true, PathKind::Folder); }, record);
            read.Try([&] { r.secondFolder = PathText(s, "secondFolder", where, false, PathKind::Folder); }, record);
            read.Try([&] { r.fileName = PathText(s, "fileName", where, false, PathKind::FileName); }, record);
        }
        data.shortcuts.push_back(r);
    }

    const Json& registry = list("registry");
    for (size_t i = 0; i < registry.size(); ++i) {
        std::string where = "registry[" + std::to_string(i) + "]", record = RecordName(RecordList::Registry, i);
        const Json& e = registry[i];
        RegistryRecord r;
        read.Try([&] { CheckKeys(e, where, {"root", "key", "value"}); }, record);
        if (e.is_object()) {
            read.Try([&] {
                if (!e.contains("root")) Fail(where, "missing field \"root\"");
                r.root = Root(e["root"], where + ".root");
            }, record);
            std::u16string key, value;
            bool isValue = e.contains("value");
            if (read.Try([&] { key = Text(e, "key", where, true); }, record) &&
                read.Try([&] { value = Text(e, "value", where, false); }, record)) {
                r.path = isValue ? key + u"\\\\" + value : key;
                // The uninstaller decides key or value from the path alone; what it would read must
                // be what the author wrote, or it deletes something else.
                read.Try([&] {
                    RegistryTarget as = SplitRegistryPath(r.path);
                    if (isValue && value.find(u'\\') != std::u16string::npos)
                        Fail(where + ".value", "a value name with a backslash cannot be recorded: the uninstaller "
                                               "would read " + Printable(as.value) + " as the name");
                    if (!isValue && as.isValue)
                        Fail(where + ".key", "this key ends in two backslashes and a name, so the uninstaller would "
                                             "delete value " + Printable(as.value) + " of key " + Printable(as.key) +
                                             " instead of the key");
                }, record);
            }
        }
        data.registry.push_back(r);
    }

    if (m.contains("settings")) {
        const Json& s = m["settings"];
        read.Try([&] { CheckKeys(s, "settings", {"wait", "keepVisualStyles", "x64", "command", "finishPage", "otherFlags"}); });
        if (s.is_object()) {
            const std::pair<const char*, uint32_t> flags[] = {
                {"wait", kRunWaitForCommand}, {"keepVisualStyles", kRunFullVisualStyles}, {"x64", kRun64BitApplication}};
            for (const auto& flag : flags)
                read.Try([&] {
                    if (Flag(s, flag.first, "settings")) data.settings.flags |= flag.second;
                });
            if (s.contains("otherFlags"))
                read.Try([&] {
                    data.settings.flags |= static_cast<uint32_t>(Number(s["otherFlags"], "settings.otherFlags", 0xFFFFFFFFu));
                });
            for (const char* field : {"command", "finishPage"}) {
                auto it = s.find(field);
                if (it == s.end() || it->is_null()) continue;
                read.Try([&] {
                    std::u16string text = Text(s, field, "settings", true);
                    if (text.find(u'\0') != std::u16string::npos)
                        Fail(std::string("settings.") + field, "holds a zero character, where the uninstaller would cut it");
                    (std::string(field) == "command" ? data.settings.command : data.settings.finishPage) = text;
                });
            }
        }
    }
    reading.mistakes = read.mistakes;
    reading.spoiled = read.spoiled;
    return reading;
}

namespace {

// Finds the keys given twice in one object, naming where. A pass of its own: nlohmann's parser
// with a callback takes time quadratic in the length of a list of objects.
class RepeatedKeys : public nlohmann::json_sax<Json> {
public:
    explicit RepeatedKeys(std::vector<std::string>& mistakes) : mistakes_(mistakes) {}

    bool null() override { return Value(); }
    bool boolean(bool) override { return Value(); }
    bool number_integer(number_integer_t) override { return Value(); }
    bool number_unsigned(number_unsigned_t) override { return Value(); }
    bool number_float(number_float_t, const string_t&) override { return Value(); }
    bool string(string_t&) override { return Value(); }
    bool binary(binary_t&) override { return Value(); }
    bool start_object(std::size_t) override { return Open(false); }
    bool start_array(std::size_t) override { return Open(true); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& key) override {
        Level& level = levels_.back();
        level.key = key;
        if (!level.keys.insert(key).second)
            mistakes_.push_back(Path() + ": the field \"" + key +
                                "\" is given twice; JSON readers differ in which one they keep, so write it once");
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    // Each object or list open around the parser, with the key or index of what it reads in it,
    // and an object's keys so far.
    struct Level {
        bool list;
        size_t index = 0;
        std::string key;
        std::set<std::string> keys;
    };

    bool Open(bool list) {
        levels_.push_back({list, 0, {}, {}});
        return true;
    }
    bool Close() {
        levels_.pop_back();
        return Value();
    }
    bool Value() {
        if (!levels_.empty() && levels_.back().list) ++levels_.back().index;
        return true;
    }
    // Where the innermost object is, as the reading names fields ("files[2]").
    std::string Path() const {
        std::string path;
        for (size_t i = 0; i + 1 < levels_.size(); ++i)
            path += levels_[i].list ? "[" + std::to_string(levels_[i].index) + "]"
                                    : (path.empty() ? "" : ".") + levels_[i].key;
        return path.empty() ? std::string("manifest") : path;
    }

    std::vector<std::string>& mistakes_;
    std::vector<Level> levels_;
};

}  // namespace

Json ParseJson(const std::string& text, std::vector<std::string>& mistakes) {
    Json json = Json::parse(text);
    RepeatedKeys repeated(mistakes);
    Json::sax_parse(text, &repeated);
    return json;
}

ManifestReading ReadManifestText(const std::string& text) {
    std::vector<std::string> twice;
    Json json = ParseJson(text, twice);
    ManifestReading reading = ReadManifest(json);
    reading.mistakes.insert(reading.mistakes.begin(), twice.begin(), twice.end());
    return reading;
}

UninstallData ManifestFromJson(const Json& m) {
    ManifestReading reading = ReadManifest(m);
    if (!reading.mistakes.empty()) throw ManifestError(reading.mistakes);
    return reading.data;
}

UninstallData ParseManifest(const std::string& text) {
    ManifestReading reading = ReadManifestText(text);
    if (!reading.mistakes.empty()) throw ManifestError(reading.mistakes);
    return reading.data;
}

Json ManifestToJson(const UninstallData& data) {
    Json m = Json::object();
    Json messages = Json::object();
    for (size_t i = 0; i < data.messages.size(); ++i)
        messages[std::to_string(i)] = FromText(data.messages[i], "messages." + std::to_string(i));
    m["messages"] = messages;

    Json files = Json::array();
    for (size_t i = 0; i < data.files.size(); ++i) {
        const FileRecord& r = data.files[i];
        std::string where = "files[" + std::to_string(i) + "]";
        Json f = Json::object();
        f["directory"] = FromText(r.directory, where + ".directory");
        f["fileName"] = FromText(r.fileName, where + ".fileName");
        Json flags = Json::array();
        uint8_t rest = r.flags;
        for (const FlagName& fl : kFileFlags)
            if (r.flags & fl.bit) {
                flags.push_back(fl.name);
                rest &= static_cast<uint8_t>(~fl.bit);
            }
        if (rest) flags.push_back(rest);  // bits without a name, kept so the bytes come back
        f["flags"] = flags;
        files.push_back(f);
    }
    m["files"] = files;

    Json shortcuts = Json::array();
    for (size_t i = 0; i < data.shortcuts.size(); ++i) {
        const ShortcutRecord& r = data.shortcuts[i];
        std::string where = "shortcuts[" + std::to_string(i) + "]";
        Json s = Json::object();
        s["levels"] = r.levels;
        s["firstFolder"] = FromText(r.firstFolder, where + ".firstFolder");
        s["secondFolder"] = FromText(r.secondFolder, where + ".secondFolder");
        s["fileName"] = FromText(r.fileName, where + ".fileName");
        shortcuts.push_back(s);
    }
    m["shortcuts"] = shortcuts;

    Json registry = Json::array();
    for (size_t i = 0; i < data.registry.size(); ++i) {
        const RegistryRecord& r = data.registry[i];
        std::string where = "registry[" + std::to_string(i) + "]";
        Json e = Json::object();
        std::string name = RootName(r.root);
        if (name.empty()) e["root"] = r.root;
        else e["root"] = name;
        RegistryTarget t = SplitRegistryPath(r.path);
        e["key"] = FromText(t.key, where + ".key");
        if (t.isValue) e["value"] = FromText(t.value, where + ".value");
        registry.push_back(e);
    }
    m["registry"] = registry;

    Json s = Json::object();
    s["wait"] = (data.settings.flags & kRunWaitForCommand) != 0;
    s["keepVisualStyles"] = (data.settings.flags & kRunFullVisualStyles) != 0;
    if (data.settings.flags & kRun64BitApplication) s["x64"] = true;
    uint32_t other = data.settings.flags & ~uint32_t(kRunWaitForCommand | kRunFullVisualStyles | kRun64BitApplication);
    if (other) s["otherFlags"] = other;
    if (data.settings.command) s["command"] = FromText(*data.settings.command, "settings.command");
    if (data.settings.finishPage) s["finishPage"] = FromText(*data.settings.finishPage, "settings.finishPage");
    m["settings"] = s;
    return m;
}

}  // namespace uninstpack
