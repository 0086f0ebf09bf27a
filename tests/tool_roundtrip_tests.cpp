// Files written by the authoring tool's build command, loaded by the program's own loader: every
// message, record and run setting must arrive as the manifest wrote it. The expected values are
// read from the JSON here, not through the tool's mapping, so a mistake there shows too.
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/uninstpack/commands.h"
#include "tools/uninstpack/harvest.h"
#include "data/data_locator.h"
#include "data/install_records.h"
#include "data/message_table.h"
#include "data/uninstall_data.h"
#include "run/run_sequence.h"
#include "tools/uninstpack/manifest.h"
#include "pack/uninst_data.h"
#include "support/loader_test.h"
#include "support/uninst_runner.h"

using uninstpack::Json;

namespace {

// The system's own UTF-8 decoder, so the expectation does not share the tool's.
std::wstring FromUtf8(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    if (n) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring Field(const Json& object, const char* name) {
    return object.contains(name) ? FromUtf8(object[name].get<std::string>()) : std::wstring();
}

// ---- What a manifest says, read straight from its JSON ---------------------------------------

std::vector<std::wstring> ExpectedMessages(const Json& manifest) {
    std::vector<std::wstring> out;
    if (!manifest.contains("messages")) return out;
    const Json& m = manifest["messages"];
    if (m.is_array()) {
        for (const Json& text : m) out.push_back(FromUtf8(text.get<std::string>()));
        return out;
    }
    for (auto it = m.begin(); it != m.end(); ++it) {
        size_t n = std::stoul(it.key());
        if (out.size() <= n) out.resize(n + 1);
        out[n] = FromUtf8(it->get<std::string>());
    }
    return out;
}

BYTE ExpectedFlags(const Json& record) {
    BYTE bits = 0;
    if (!record.contains("flags")) return bits;
    for (const Json& flag : record["flags"]) {
        if (flag.is_number()) {
            bits |= flag.get<BYTE>();
            continue;
        }
        const std::string name = flag.get<std::string>();
        if (name == "shared") bits |= kFileShared;
        if (name == "font") bits |= kFileFont;
        if (name == "com") bits |= kFileCom;
        if (name == "in-use") bits |= kFileInUseCheck;
    }
    return bits;
}

DWORD ExpectedRoot(const Json& root) {
    if (root.is_number()) return root.get<DWORD>();
    const std::string name = root.get<std::string>();
    if (name == "HKCR" || name == "HKEY_CLASSES_ROOT") return 0x80000000;
    if (name == "HKCU" || name == "HKEY_CURRENT_USER") return 0x80000001;
    if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE") return 0x80000002;
    if (name == "HKU" || name == "HKEY_USERS") return 0x80000003;
    return std::stoul(name, nullptr, 16);
}

// ---- The manifests -------------------------------------------------------------------------

std::string SampleManifest() {
    // The guest sees the host's / as Z:.
    std::string path = "Z:" UNINST_SOURCE_DIR "/examples/sample-manifest.json";
    for (char& c : path)
        if (c == '/') c = '\\';
    uninstpack::Bytes bytes = ReadFileBytes(FromUtf8(path));
    return std::string(bytes.begin(), bytes.end());
}

// Every field, texts beyond ASCII (a pair of surrogates too), message numbers left out, raw flag
// bits, numeric roots, the default value, empty shortcut texts.
const char kRichManifest[] = R"({
  "messages": {"0": "Désinstallation \u2014 Notes \ud83d\udcdd", "1": "Continue?", "9": "%s est en lecture seule.",
               "15": "still running", "20": "after a gap"},
  "files": [
    {"directory": "C:\\Program Files\\Ünï", "fileName": "", "flags": []},
    {"directory": ".\\sub dir", "fileName": "a.dll", "flags": ["shared", "com", "in-use"]},
    {"directory": "C:\\Windows\\Fonts", "fileName": "font.ttf", "flags": ["font", 16]},
    {"directory": ".", "fileName": "x"}
  ],
  "shortcuts": [
    {"levels": 255, "firstFolder": "C:\\Start\\Vendor\\App", "secondFolder": "D:\\Other", "fileName": "App.lnk"},
    {"firstFolder": ""},
    {"levels": 2, "firstFolder": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Ω", "fileName": "Ω.lnk"}
  ],
  "registry": [
    {"root": "HKLM", "key": "Software\\Vendor\\App", "value": "Version"},
    {"root": "HKCU", "key": "Software\\Vendor\\App", "value": ""},
    {"root": "HKEY_CLASSES_ROOT", "key": ".sample"},
    {"root": 2147483651, "key": "S-1-5-21\\Software\\Vendor"},
    {"root": "0x80000001", "key": "Software\\Vendor\\Config"}
  ],
  "settings": {"wait": true, "keepVisualStyles": true, "otherFlags": 64,
               "command": "\"#Program Files#\\Ünï\\unreg.exe\" /x", "finishPage": "https://example.com/ü"}
})";

// Messages by position, nothing else: empty lists and a settings block without texts.
const char kBareManifest[] = R"({"messages": ["zero", "one", "", "three"]})";

// An empty command is still a command text (offset not 0), unlike one left out.
const char kEmptyCommandManifest[] = R"({
  "messages": {"0": "t"},
  "registry": [{"root": "HKU", "key": ".DEFAULT\\Software\\V", "value": "n"}],
  "settings": {"command": "", "keepVisualStyles": true}
})";

// Texts whose sum is exactly each record kind's limit (file 518, shortcut 777, registry 519
// units), plus the extra units given for each kind.
std::string AtTheLimits(size_t fileExtra = 0, size_t shortcutExtra = 0, size_t registryExtra = 0) {
    const std::string file =
        R"({"directory": "C:\\)" + std::string(518 - 3 - 8 + fileExtra, 'd') + R"(", "fileName": "file.txt"})";
    const std::string shortcut = R"({"levels": 1, "firstFolder": "C:\\)" + std::string(400 - 3 + shortcutExtra, 'f') +
                                 R"(", "secondFolder": "D:\\)" + std::string(300 - 3, 's') + R"(", "fileName": ")" +
                                 std::string(77, 'n') + R"("})";
    // key + two backslashes + value name.
    const std::string registry = R"({"root": "HKLM", "key": "Software\\)" + std::string(519 - 9 - 2 - 8 + registryExtra, 'k') +
                                 R"(", "value": "ValueNam"})";
    return R"({"messages": {"0": "limits"}, "files": [)" + file + R"(], "shortcuts": [)" + shortcut +
           R"(], "registry": [)" + registry + "]}";
}

// ---- The test bench ------------------------------------------------------------------------

class ToolRoundTrip : public LoaderTest {
protected:
    // Writes the manifest, runs the tool's build with the real uninst.exe as the stub, and
    // returns the tool's exit code; its messages land in out_ and err_.
    int Build(const std::string& manifestText) {
        const std::wstring manifest = dir_.Join(L"manifest.json");
        EXPECT_TRUE(WriteFileBytes(manifest, uninstpack::Bytes(manifestText.begin(), manifestText.end())));
        out_.str("");
        err_.str("");
        return uninstpack::RunBuild(Utf8(manifest), Utf8(BinPath(L"uninst.exe")), Utf8(program_), out_, err_);
    }

    // Loads the built file as the program loads its own file.
    bool Load() {
        const uninstpack::Bytes built = ReadFileBytes(program_);
        const uninstpack::Bytes stub = UninstallerProgram();
        EXPECT_EQ(uninstpack::GetDataOffset(built), std::optional<uint32_t>(static_cast<uint32_t>(stub.size())))
            << "the data must start right after the program part";
        SetDataOffset(uninstpack::GetDataOffset(built).value_or(0));
        const bool loaded = LoadUninstallDataOrReport();
        for (const ShownBox& box : ShownBoxes) ADD_FAILURE() << "the loader said: " << Utf8(box.text);
        return loaded;
    }

    void ExpectLoadedAsWritten(const Json& manifest) {
        const std::vector<std::wstring> messages = ExpectedMessages(manifest);
        size_t loadedMessages = 0;
        while (Data.MessageTable && Data.MessageTable[loadedMessages]) ++loadedMessages;
        EXPECT_EQ(messages.size(), loadedMessages);
        for (size_t n = 0; n < messages.size(); ++n)
            EXPECT_EQ(messages[n], GetMessageText(0, static_cast<int>(n))) << "message " << n;

        const Json none = Json::array();
        const Json& files = manifest.contains("files") ? manifest["files"] : none;
        ASSERT_EQ(files.size(), Data.FileEntryCount);
        for (size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE("file record " + std::to_string(i));
            EXPECT_EQ(Field(files[i], "directory"), Data.FileEntries[i]->directory);
            EXPECT_EQ(Field(files[i], "fileName"), Data.FileEntries[i]->fileName);
            EXPECT_EQ(ExpectedFlags(files[i]), Data.FileEntries[i]->flags);
        }

        const Json& shortcuts = manifest.contains("shortcuts") ? manifest["shortcuts"] : none;
        ASSERT_EQ(shortcuts.size(), Data.ShortcutEntryCount);
        for (size_t i = 0; i < shortcuts.size(); ++i) {
            SCOPED_TRACE("shortcut record " + std::to_string(i));
            EXPECT_EQ(shortcuts[i].value("levels", 0u), Data.ShortcutEntries[i]->levels);
            EXPECT_EQ(Field(shortcuts[i], "firstFolder"), Data.ShortcutEntries[i]->firstFolder);
            EXPECT_EQ(Field(shortcuts[i], "secondFolder"), Data.ShortcutEntries[i]->secondFolder);
            EXPECT_EQ(Field(shortcuts[i], "fileName"), Data.ShortcutEntries[i]->fileName);
        }

        const Json& registry = manifest.contains("registry") ? manifest["registry"] : none;
        ASSERT_EQ(registry.size(), Data.RegistryEntryCount);
        for (size_t i = 0; i < registry.size(); ++i) {
            SCOPED_TRACE("registry record " + std::to_string(i));
            std::wstring path = Field(registry[i], "key");
            if (registry[i].contains("value")) path += L"\\\\" + Field(registry[i], "value");
            EXPECT_EQ(ExpectedRoot(registry[i]["root"]), Data.RegistryEntries[i]->root);
            EXPECT_EQ(path, Data.RegistryEntries[i]->path);
        }

        ASSERT_NE(nullptr, Data.RunSettings);
        const Json settings = manifest.value("settings", Json::object());
        DWORD flags = settings.value("otherFlags", 0u);
        if (settings.value("wait", false)) flags |= kRunWaitForCommand;
        if (settings.value("keepVisualStyles", false)) flags |= kRunFullVisualStyles;
        EXPECT_EQ(flags, Data.RunSettings->flags);
        for (const char* name : {"command", "finishPage"}) {
            const WCHAR* loaded = std::string(name) == "command" ? PreRemovalCommandText() : FinishPageText();
            if (!settings.contains(name)) {
                EXPECT_EQ(nullptr, loaded) << name;
            } else {
                ASSERT_NE(nullptr, loaded) << name;
                EXPECT_EQ(Field(settings, name), loaded) << name;
            }
        }
    }

    std::ostringstream out_, err_;
};

TEST_F(ToolRoundTrip, EveryRecordLoadsAsTheManifestWrites) {
    const std::string sample = SampleManifest();
    ASSERT_FALSE(sample.empty());
    const struct { const char* name; std::string text; } cases[] = {
        {"sample manifest", sample},
        {"every field", kRichManifest},
        {"bare", kBareManifest},
        {"empty command", kEmptyCommandManifest},
        {"texts at the limits", AtTheLimits()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(uninstpack::kExitClean, Build(c.text)) << err_.str();
        ASSERT_TRUE(Load());
        ExpectLoadedAsWritten(Json::parse(c.text));
        ReleaseUninstallData();
    }
}

// What inspect --json gives back is a manifest too: built again, it loads as the original did.
TEST_F(ToolRoundTrip, InspectedManifestLoadsAsTheOriginal) {
    ASSERT_EQ(uninstpack::kExitClean, Build(kRichManifest)) << err_.str();
    std::ostringstream json, err;
    ASSERT_EQ(uninstpack::kExitClean, uninstpack::InspectBytes(ReadFileBytes(program_), "built", true, json, err))
        << err.str();
    ASSERT_EQ(uninstpack::kExitClean, Build(json.str())) << err_.str();
    ASSERT_TRUE(Load());
    ExpectLoadedAsWritten(Json::parse(kRichManifest));
}

// One unit over a record's limit: the program would refuse the whole file, so the tool writes none.
TEST_F(ToolRoundTrip, TextOneOverTheLimitIsNotWritten) {
    const struct { const char* name; std::string text; const char* said; } cases[] = {
        {"file record", AtTheLimits(1, 0, 0), "file record 0: directory and file name hold 519"},
        {"shortcut record", AtTheLimits(0, 1, 0), "shortcut record 0: texts hold 778"},
        {"registry record", AtTheLimits(0, 0, 1), "registry record 0: path holds 520"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(uninstpack::kExitUnusable, Build(c.text));
        EXPECT_NE(std::string::npos, err_.str().find(c.said)) << err_.str();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(program_.c_str())) << "a file was written";
    }
}

// During installation: uninstpack.exe takes a --define value from the wide command line, with
// letters the ANSI code page lacks, and build keeps the leading macro as written.
TEST_F(ToolRoundTrip, DefineOnTheCommandLineReachesTheRecordWhole) {
    const std::string manifest = R"({"shortcuts": [{"firstFolder": "#CommonPrograms#\\${Menu}", "fileName": "a.lnk"}]})";
    const std::wstring path = dir_.Join(L"m.json");
    ASSERT_TRUE(WriteFileBytes(path, uninstpack::Bytes(manifest.begin(), manifest.end())));
    EXPECT_EQ(0u, RunProgram(BinPath(L"uninstpack.exe"), L"build \"" + path + L"\" --stub \"" + BinPath(L"uninst.exe") +
                                                           L"\" -o \"" + program_ + L"\" --define \"Menu=Zubeh\u00f6r \u03a9\""));
    uninstpack::DecodeResult built = uninstpack::DecodeUninstaller(ReadFileBytes(program_));
    ASSERT_TRUE(built.ok);
    EXPECT_EQ(u"#CommonPrograms#\\Zubeh\u00f6r \u03a9", built.data.shortcuts[0].firstFolder);
}

// A staged tree harvested here, where names reach the tool as UTF-16, built with the German
// texts, and removed whole by the real uninstaller: the harvested order is one it can empty.
// Names stay ASCII: the test machine's Wine runs without a UTF-8 locale and cannot create
// others on its disk (CreateFileW failed with 2 for "Größe.txt").
TEST_F(ToolRoundTrip, HarvestedTreeWithGermanTextsIsRemovedWhole) {
    const std::wstring app = dir_.MakeFolder(L"Notizen");
    for (const wchar_t* folder : {L"Notizen\\daten\\stile", L"Notizen\\leer", L"Notizen\\mit Leerzeichen"})
        dir_.MakeFolder(folder);
    for (const wchar_t* file : {L"notizen.exe", L"daten\\vorlage 1.txt", L"daten\\stile\\schlicht.css",
                                L"mit Leerzeichen\\lies mich.txt"})
        ASSERT_TRUE(WriteFileBytes(app + L"\\" + file, {'x'}));

    uninstpack::HarvestOptions harvest;
    harvest.dir = Utf8(app);
    harvest.installDir = Utf8(app);
    harvest.flags = {"in-use=*.exe"};
    harvest.output = Utf8(dir_.Join(L"harvested.json"));
    std::ostringstream out, err;
    ASSERT_EQ(0, uninstpack::RunHarvest(harvest, out, err)) << err.str();
    const uninstpack::Bytes harvested = ReadFileBytes(dir_.Join(L"harvested.json"));
    Json manifest = Json::parse(harvested.begin(), harvested.end());
    EXPECT_EQ(9u, manifest["files"].size()) << manifest.dump(1);
    manifest["language"] = "de";
    manifest["product"] = "Notizen";
    ASSERT_EQ(uninstpack::kExitClean, Build(manifest.dump())) << err_.str();

    ASSERT_TRUE(Load());
    EXPECT_EQ(std::wstring(L"&Ja"), GetMessageText(0, 3));
    EXPECT_EQ(std::wstring(L"Deinstallation von Notizen"), GetMessageText(0, 0));
    EXPECT_NE(nullptr, wcsstr(GetMessageText(0, 1), L"zugeh\u00f6rigen")) << Utf8(GetMessageText(0, 1));
    ASSERT_EQ(9u, Data.FileEntryCount);
    EXPECT_EQ(kFileInUseCheck, Data.FileEntries[1]->flags);
    ReleaseUninstallData();

    EXPECT_EQ(0u, RunProgram(program_, L"/S"));
    EXPECT_FALSE(Exists(app)) << "the staged tree, or part of it, is still there";
    EXPECT_TRUE(Exists(program_));
}

}  // namespace
