// The authoring tool: build -> inspect --json -> build round trips, the manifest's strictness,
// each verify finding on a crafted input, damaged files through inspect and verify (never a
// crash, exit 2 with an offset), and the program's exit codes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "pack/uninst_data.h"
#include "tools/uninstpack/checks.h"
#include "tools/uninstpack/cli.h"
#include "tools/uninstpack/commands.h"
#include "tools/uninstpack/languages.h"
#include "tools/uninstpack/manifest.h"
#include "tools/uninstpack/text.h"

using namespace uninstpack;
namespace fs = std::filesystem;

namespace {

class Workspace : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("uninstpack_tests_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        stub_ = FakeStub();
        Write("stub.exe", stub_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A program part as the real one carries it: a locator whose DataOffset is its own length.
    static Bytes FakeStub() {
        Bytes stub = {'M', 'Z'};
        stub.resize(300, 0x90);
        stub.insert(stub.end(), std::begin(kDataLocatorMarker), std::end(kDataLocatorMarker));
        stub.resize(stub.size() + 4, 0);
        stub.resize(700, 0xCC);
        SetDataOffset(stub, static_cast<uint32_t>(stub.size()));
        return stub;
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const Bytes& bytes) const {
        std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    void Write(const std::string& name, const std::string& text) const { std::ofstream(Path(name)) << text; }
    Bytes Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    struct Run {
        int rc;
        std::string out, err;
    };
    // A command function's exit code and what it wrote.
    template <typename Fn>
    static Run Capture(Fn run) {
        std::ostringstream out, err;
        int rc = run(out, err);
        return {rc, out.str(), err.str()};
    }
    // Names are of the workspace, or full paths.
    Run Build(const std::string& manifest, const std::string& output, const Options& options = {},
              const std::string& stub = "stub.exe") {
        return Capture([&](auto& out, auto& err) {
            return RunBuild(Path(manifest), Path(stub), Path(output), out, err, options);
        });
    }
    Run Inspect(const std::string& file, bool json) {
        return Capture([&](auto& out, auto& err) { return RunInspect(Path(file), json, out, err); });
    }
    Run Verify(const std::string& file, bool strict = true) {
        Options options;
        options.strict = strict;
        return Capture([&](auto& out, auto& err) { return RunVerify(Path(file), out, err, options); });
    }
    // The program's command line, in process; "-" reads `input`.
    Run Command(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), "/usr/local/bin/uninstpack");
        std::istringstream in(input);
        return Capture([&](auto& out, auto& err) { return RunCommandLine(args, in, out, err); });
    }

    fs::path dir_;
    Bytes stub_;
};

std::string SixteenMessages() {
    std::string m = "\"messages\": {";
    for (int i = 0; i < 16; ++i) m += (i ? ", " : "") + ("\"" + std::to_string(i) + "\": \"text " + std::to_string(i) + "\"");
    return m + "}";
}

// A clean manifest with one place to put what a case adds.
std::string Manifest(const std::string& files = "", const std::string& shortcuts = "",
                     const std::string& registry = "", const std::string& messages = SixteenMessages()) {
    return "{" + messages + ", \"files\": [" + files + "], \"shortcuts\": [" + shortcuts + "], \"registry\": [" +
           registry + "], \"settings\": {\"wait\": false}}";
}

const char* const kRichManifest = R"({
  "messages": {"0": "Ünïcode 🎉 title", "1": "", "2": "Done.", "3": "a", "4": "b", "5": "c", "6": "d",
               "7": "memory %s", "8": "damaged %s", "9": "read-only %s", "10": "shared %s", "11": "f",
               "12": "s", "13": "d", "14": "r", "15": "running", "17": "gap before me"},
  "files": [
    {"directory": ".", "fileName": ""},
    {"directory": ".\\bin", "fileName": "", "flags": []},
    {"directory": ".\\bin", "fileName": "app.exe", "flags": ["in-use", "com"]},
    {"directory": "C:\\Windows\\Fonts", "fileName": "sample.ttf", "flags": ["font", "shared", 16]}
  ],
  "shortcuts": [
    {"levels": 255, "firstFolder": "C:\\Start\\Vendor\\App", "secondFolder": "D:\\Other", "fileName": "App.lnk"},
    {"firstFolder": ""}
  ],
  "registry": [
    {"root": "HKLM", "key": "Software\\Vendor\\App", "value": "Version"},
    {"root": "HKCU", "key": "Software\\Vendor\\App", "value": ""},
    {"root": "HKEY_CLASSES_ROOT", "key": ".sample"},
    {"root": 17, "key": "Software\\Vendor"},
    {"root": "0x80000003", "key": ""},
    {"root": "HKU", "key": "\\\\S-1-5-21\\Software\\Vendor", "value": "x"}
  ],
  "settings": {"wait": true, "keepVisualStyles": true, "x64": true, "otherFlags": 64, "command": "", "finishPage": "https://example.com/ü"}
})";

TEST_F(Workspace, BuildInspectJsonBuildGivesTheSameBytes) {
    std::ifstream sample(std::string(UNINSTPACK_SOURCE_DIR) + "/examples/sample-manifest.json");
    std::string sampleText((std::istreambuf_iterator<char>(sample)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(sampleText.empty());
    const std::string manifests[] = {
        sampleText, kRichManifest, "{}", Manifest(),
        R"({"messages": ["zero", "one"], "settings": {"finishPage": "page.html"}})",
        Manifest(R"({"directory": "C:\\A", "fileName": "b"})", "", R"({"root": "HKLM", "key": "Software\\V\\"})")};
    for (size_t i = 0; i < std::size(manifests); ++i) {
        SCOPED_TRACE("manifest " + std::to_string(i));
        Write("m.json", manifests[i]);
        Run first = Build("m.json", "a.exe");
        ASSERT_EQ(first.rc, 0) << first.err;
        Run json = Inspect("a.exe", true);
        ASSERT_EQ(json.rc, 0) << json.err;
        if (manifests[i] == kRichManifest) {  // the x64 flag is shown by name
            EXPECT_NE(json.out.find("\"x64\": true"), std::string::npos) << json.out;
            EXPECT_NE(Inspect("a.exe", false).out.find(" keep-visual-styles x64\n"), std::string::npos);
        }
        Write("back.json", json.out);
        Run second = Build("back.json", "b.exe");
        ASSERT_EQ(second.rc, 0) << second.err;
        Bytes a = Read("a.exe"), b = Read("b.exe");
        EXPECT_EQ(a, b);
        EXPECT_EQ(Bytes(a.begin(), a.begin() + stub_.size()), stub_) << "the program part as given";
        EXPECT_EQ(GetDataOffset(a), stub_.size());
    }
}

TEST_F(Workspace, ManifestRecordsReachTheStreamAsWritten) {
    UninstallData d = ParseManifest(kRichManifest);
    ASSERT_EQ(d.messages.size(), 18u);
    EXPECT_EQ(d.messages[0], u"Ünïcode \U0001F389 title");
    EXPECT_EQ(d.messages[16], u"");  // a number left out is an empty text
    EXPECT_EQ(d.files[3].flags, kFileFont | kFileShared | 0x10);
    EXPECT_EQ(d.files[2].flags, kFileInUseCheck | kFileCom);
    EXPECT_EQ(d.shortcuts[0].levels, 255);
    struct {
        uint32_t root;
        std::u16string path;
    } expected[] = {{0x80000002, u"Software\\Vendor\\App\\\\Version"},
                    {0x80000001, u"Software\\Vendor\\App\\\\"},
                    {0x80000000, u".sample"},
                    {17, u"Software\\Vendor"},
                    {0x80000003, u""},
                    {0x80000003, u"\\\\S-1-5-21\\Software\\Vendor\\\\x"}};
    ASSERT_EQ(d.registry.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(d.registry[i].root, expected[i].root) << i;
        EXPECT_TRUE(d.registry[i].path == expected[i].path) << i;
    }
    EXPECT_EQ(d.settings.flags, kRunWaitForCommand | kRunFullVisualStyles | kRun64BitApplication | 64);
    ASSERT_TRUE(d.settings.command.has_value());
    EXPECT_TRUE(d.settings.command->empty());
}

TEST_F(Workspace, ManifestMistakesAreRefusedNamingTheField) {
    struct {
        const char* manifest;
        const char* expect;
    } cases[] = {
        {R"({"file": []})", "unknown field \"file\""},
        {R"({"files": [{"directory": "C:\\A", "filename": "x"}]})", "files[0]: unknown field \"filename\""},
        {R"({"files": [{"fileName": "x"}]})", "files[0]: missing field \"directory\""},
        {R"({"files": [{"directory": "C:\\A", "flags": ["readonly"]}]})", "files[0].flags[0]: unknown flag"},
        {R"({"files": [{"directory": "C:\\A", "flags": [256]}]})", "files[0].flags[0]"},
        {R"({"files": [{"directory": "C:\\A", "fileName": "#system#"}]})", "files[0].fileName: \"#system#\" holds"},
        {R"({"shortcuts": [{"firstFolder": "#Nowhere#\\V"}]})", "shortcuts[0].firstFolder"},
        {R"({"shortcuts": [{"firstFolder": "#Programs#\\${Menu}"}]})", "shortcuts[0].firstFolder: ${Menu} is not defined"},
        {R"({"messages": {"0": "${Product"}})", "messages.0: \"${\" is never closed"},
        {R"({"shortcuts": [{"firstFolder": "C:\\A", "levels": 256}]})", "shortcuts[0].levels"},
        {R"({"shortcuts": [{"firstFolder": "C:\\A", "levels": -1}]})", "shortcuts[0].levels"},
        {R"({"registry": [{"root": "HKXX", "key": "Software\\V"}]})", "registry[0].root: unknown root"},
        {R"({"registry": [{"key": "Software\\V"}]})", "registry[0]: missing field \"root\""},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\V", "value": "a\\b"}]})", "registry[0].value"},
        {R"({"registry": [{"root": "HKLM", "key": "Software\\V\\\\Name"}]})", "registry[0].key"},
        {R"({"messages": {"01": "x"}})", "messages.01"},
        {R"({"messages": {"65535": "x"}})", "messages.65535"},
        {R"({"messages": {"0": 5}})", "messages.0: expected a text"},
        {R"({"settings": {"wait": "yes"}})", "settings.wait"},
        {R"({"settings": {"command": "a\u0000b"}})", "settings.command"},
        {R"({"files": [)", "not a JSON manifest"},
        {R"({"language": "xx", "product": "P"})", "language: no default texts for \"xx\""},
        {R"({"language": "pt", "product": "P"})", "texts for this language are pt-BR"},
        {R"({"language": "de"})", "\"language\" needs \"product\""},
        {R"({"language": "de", "product": ""})", "product: is empty"},
        {R"({"product": "P"})", "product: is put only into the default texts"},
        {R"({"files": [{"directory": "C:\\A", "directory": "C:\\B"}]})", "files[0]: the field \"directory\" is given twice"},
        {R"({"settings": {}, "messages": {"1": "a", "1": "b"}, "settings": {}})", "manifest: the field \"settings\" is"},
    };
    for (const auto& c : cases) {
        Write("m.json", std::string(c.manifest));
        Run build = Build("m.json", "out.exe");
        EXPECT_EQ(build.rc, 2) << c.manifest;
        EXPECT_NE(build.err.find(c.expect), std::string::npos) << c.manifest << "\n" << build.err;
        EXPECT_FALSE(fs::exists(Path("out.exe"))) << c.manifest;
        Run verify = Verify("m.json");
        EXPECT_EQ(verify.rc, 2) << c.manifest;
    }
}

TEST_F(Workspace, BuildRefusesAStubThatIsNotABareProgramPart) {
    Write("m.json", Manifest());
    ASSERT_EQ(Build("m.json", "first.exe").rc, 0);
    Run second = Build("m.json", "second.exe", {}, "first.exe");
    ASSERT_EQ(second.rc, 2);
    EXPECT_NE(second.err.find("already carries uninstall data"), std::string::npos) << second.err;
    Write("nolocator.exe", Bytes(500, 0x90));
    Run bare = Build("m.json", "x.exe", {}, "nolocator.exe");
    EXPECT_EQ(bare.rc, 2);
    EXPECT_NE(bare.err.find("locator"), std::string::npos) << bare.err;
    EXPECT_FALSE(fs::exists(Path("x.exe")));
}

// Each case: a manifest holding one mistake, and words its report line must hold; an empty
// expectation is a clean manifest (exit 0).
TEST_F(Workspace, VerifyReportsEachMistakeOfAManifest) {
    std::string fewer = R"("messages": {"0": "a", "1": "b"})";
    std::string msg = SixteenMessages();
    auto withMessage = [&msg](int n, const std::string& text) {
        std::string key = "\"" + std::to_string(n) + "\": \"text " + std::to_string(n) + "\"";
        std::string m = msg;
        m.replace(m.find(key), key.size(), "\"" + std::to_string(n) + "\": \"" + text + "\"");
        return m;
    };
    // The manifest with its "wait" setting replaced by `text`.
    auto setting = [](std::string manifest, const std::string& text) {
        const std::string wait = "\"wait\": false";
        return manifest.replace(manifest.find(wait), wait.size(), text);
    };
    auto x64 = [&](const std::string& manifest) { return setting(manifest, "\"x64\": true"); };
    auto finish = [&](const std::string& page) {
        return setting(Manifest(), "\"finishPage\": " + Json(page).dump());
    };
    // "C:\" plus n letters as a folder, for the 259-character boundary with file name "f".
    auto longDir = [](size_t n) { return "C:\\\\" + std::string(n, 'd'); };
    auto fileF = [](const std::string& directory) {
        return Manifest(R"({"directory": ")" + directory + R"(", "fileName": "f"})");
    };
    struct {
        std::string manifest;
        const char* expect;
    } cases[] = {
        {Manifest(), ""},
        {Manifest("", "", "", fewer), "message table: holds 2 messages, fewer than 16"},
        {Manifest("", "", "", withMessage(9, "%s %d")), "message 9: holds the format sequence \"%d\""},
        {Manifest("", "", "", withMessage(8, "%s and %s")), "message 8: holds the format sequence \"%s\""},
        {Manifest("", "", "", withMessage(10, "%s %ls")), "message 10: holds the format sequence \"%ls\""},
        {Manifest("", "", "", withMessage(10, "%ls")), ""},  // no "%s": shown as it is
        {Manifest("", "", "", withMessage(9, "%s: %-10.3d")), "holds the format sequence \"%-10.3d\""},
        {Manifest("", "", "", withMessage(9, "%s 50%")), "holds the format sequence \"%\""},
        {Manifest("", "", "", withMessage(7, "100%% of %s")), ""},
        {Manifest("", "", "", withMessage(7, "100%%")), "message 7: holds \"%%\" but no"},
        {Manifest("", "", "", withMessage(2, "done: %s")), "message 2: holds \"%s\", but this message is shown as it is"},
        {Manifest("", "", "", withMessage(3, "&Yes")), ""},
        {Manifest("", "", "", withMessage(6, "&yes to none").replace(msg.find("text 3"), 6, "&Yes")),
         "message 6: marks the access key \"y\", as message 3 does"},
        {Manifest("", "", "", withMessage(5, "&&No&w").replace(msg.find("text 4"), 6, "&W")), "message 5: marks the access key \"w\""},
        {Manifest("", "", "", withMessage(5, "&Ж").replace(msg.find("text 4"), 6, "&ж")), "message 5: marks"},
        // A file path of 259 characters fits with its terminator, 260 does not.
        {fileF(longDir(254)), ""},
        {fileF(longDir(255)), "file record 0: the file's path is 260 characters long"},
        {fileF(".\\\\" + std::string(256, 'd')), "even below the shortest installation directory"},
        {Manifest("", R"({"firstFolder": ")" + longDir(255) + R"(", "fileName": "f"})"),
         "shortcut record 0: the shortcut's path is 260"},
        {Manifest("", R"({"firstFolder": "C:\\A", "secondFolder": ")" + longDir(257) + R"("})"),
         "shortcut record 0: the second folder is 260"},
        {fileF("C:\\\\" + std::string(517, 'd')), "more than the uninstaller's 518"},
        {Manifest(R"({"directory": "C:\\Windows"})"), "file record 0: is a folder record that names the system folder"},
        {Manifest(R"({"directory": "c:\\program files\\"})"), "names the system folder"},
        {Manifest(R"({"directory": "D:\\"})"), "names the drive root"},
        {Manifest(R"({"directory": "C:\\Users\\jo\\Desktop"})"), "names the system folder"},
        {Manifest(R"({"directory": "C:\\Program Files\\Vendor"})"), ""},
        {Manifest(R"({"directory": "C:\\Windows", "fileName": "vendor.ini"})"), "in the Windows folder tree without"},
        {Manifest(R"({"directory": "C:\\Windows\\System32", "fileName": "vendor.dll", "flags": ["shared"]})"), ""},
        {Manifest(R"({"directory": "#Fonts#\\"})"), R"(file record 0: is a folder record that names the system folder "#Fonts#")"},
        {Manifest(R"({"directory": "#CommonAppData#\\Microsoft\\Windows\\Start Menu"})"), "names the system folder"},
        {Manifest(R"({"directory": "#AppData#\\Vendor"}, {"directory": "#appdata#\\Vendor", "fileName": "a"})"), ""},
        {Manifest("", R"({"firstFolder": "#StartMenu#"})"), R"(first folder names the system folder "#StartMenu#")"},
        {Manifest("", R"({"levels": 1, "firstFolder": "#Programs#\\Vendor"})"), ""},
        {fileF("#Programs#\\\\" + std::string(194, 'd')),
         R"(261 characters long with "#Programs#" where it usually lies)"},
        {Manifest("", R"({"firstFolder": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"})"),
         "shortcut record 0: first folder names the system folder"},
        {Manifest("", "", R"({"root": "HKLM", "key": "Software"})"), "is a whole top-level tree"},
        {Manifest("", "", R"({"root": "HKCU", "key": "Software\\Microsoft\\"})"), "holds every program's entries"},
        {Manifest("", "", R"({"root": "HKLM", "key": "SOFTWARE\\Wow6432Node\\Microsoft\\Windows"})"),
         "holds every program's entries"},
        {Manifest("", "", R"({"root": "HKCR", "key": "CLSID"})"), "holds every program's file types"},
        {Manifest("", "", R"({"root": "HKCR", "key": ".sample"})"), ""},
        {Manifest("", "", R"({"root": "HKLM", "key": "Software\\Vendor"})"), ""},
        {Manifest("", "", R"({"root": "HKLM", "key": "Software", "value": "Vendor"})"), ""},
        {Manifest("", "", R"({"root": 17, "key": "Software\\Vendor"})"), "root 0x11 is not a predefined"},
        {Manifest("", "", R"({"root": "HKLM", "key": ""})"), "has an empty path"},
        {Manifest(R"({"directory": ".\\data", "fileName": "a.txt"}, {"directory": ".\\data"})"),
         "file record 0: comes before file record 1, the record of its own folder"},
        {Manifest(R"({"directory": ".\\data\\sub"}, {"directory": ".\\data\\"})"),
         "file record 0: comes before file record 1"},
        {Manifest(R"({"directory": "."}, {"directory": ".\\data"}, {"directory": ".\\data", "fileName": "a.txt"})"), ""},
        {Manifest(R"({"directory": "C:\\A", "flags": [32]})"), "flag bits 0x20"},
        {Manifest(R"({"directory": "C:\\A", "fileName": "x"}, {"directory": "c:/a/", "fileName": "X"})"),
         "file record 1: names the same file as file record 0"},
        {Manifest("", "", R"({"root": "HKLM", "key": "Software\\V"}, {"root": "HKLM", "key": "software\\v"})"),
         "registry record 1: is the same as registry record 0"},
        {Manifest("", R"({"levels": 1, "firstFolder": "C:\\Start\\Vendor"})"), "walk up from the first folder"},
        {Manifest("", R"({"levels": 1, "firstFolder": "C:\\Start\\Vendor\\App"})"), ""},
        // With the x64 flag, names of the 32-bit folders and registry view are suspect.
        {x64(Manifest(R"({"directory": "C:\\Program Files (x86)\\Vendor"})")), "names \"program files (x86)\""},
        {x64(Manifest(R"({"directory": "C:\\Windows\\SysWOW64", "fileName": "v.dll"})")), "file record 0: "},
        {x64(Manifest("", R"({"firstFolder": "C:\\A", "secondFolder": "C:\\Program Files (X86)\\V"})")), "shortcut record 0"},
        {x64(Manifest("", "", R"({"root": "HKLM", "key": "Software\\WOW6432Node\\Vendor"})")), "registry record 0"},
        {x64(Manifest(R"({"directory": "C:\\Program Files\\Vendor"})")), ""},
        {Manifest(R"({"directory": "C:\\Program Files (x86)\\Vendor"})"), ""},
        {finish("ms-settings:privacy"), "run settings: the finish page \"ms-settings:privacy\" has the scheme"},
        {finish("file:///C:/readme.html"), "has the scheme \"file:\""},
        {finish("HTTPS://example.com/bye"), ""},
        {finish("C:\\App\\bye.html"), ""},
        {finish("bye.html"), ""},
        {finish("C:\\" + std::string(256, 'p')), ""},
        {finish("C:\\" + std::string(257, 'p')), "the finish page holds 260 characters"},
    };
    for (const auto& c : cases) {
        Write("m.json", c.manifest);
        Run v = Verify("m.json");
        bool clean = std::string(c.expect).empty();
        EXPECT_EQ(v.rc, clean ? 0 : 1) << c.manifest << "\n" << v.out << v.err;
        if (!clean) EXPECT_NE(v.out.find(c.expect), std::string::npos) << c.expect << "\n" << v.out;
        else EXPECT_NE(v.out.find("no problems found"), std::string::npos) << v.out;
    }
}

// Files no writer of ours produces: each must be refused with the offset of the fault.
TEST_F(Workspace, VerifyRefusesStreamsTheUninstallerWouldRefuse) {
    UninstallData d = ParseManifest(Manifest());
    Bytes messages = EncodeChunk(ChunkTag::MessageTable, EncodeMessageTable(d.messages));
    Bytes settings = EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings(d.settings));
    Bytes end = EncodeChunkHeader(ChunkTag::End, 0, 0);
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    Bytes badOffset = {0, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0};
    Bytes longRecord = {1, 0, 0, 0, 2, 0, 0, 0x80, 0x08, 0x02};  // one record, a 520-unit path
    longRecord.resize(longRecord.size() + 1040, 'a');
    struct {
        const char* name;
        Bytes stream;
        const char* expect;
    } cases[] = {
        {"clean", cat({messages, settings, end}), ""},
        {"no RunSettings", cat({messages, end}), "no RunSettings chunk"},
        {"no End", cat({messages, settings}), "without an End chunk"},
        {"bad offset", cat({messages, EncodeChunk(ChunkTag::RunSettings, badOffset), end}), "command offset 40"},
        {"refused flag", cat({messages, EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings(d.settings), 1), end}),
         "flags bit 0"},
        {"over the staging limit", cat({messages, EncodeChunk(ChunkTag::RegistryList, longRecord), settings, end}),
         "more than the uninstaller's 519"},
        {"size past the end", cat({messages, EncodeChunkHeader(ChunkTag::FileList, 0, 1000), end}), "declares 1000"},
    };
    for (const auto& c : cases) {
        Write("u.exe", BuildUninstaller(stub_, c.stream));
        Run v = Verify("u.exe", false);  // unsealed streams: a warning
        Run inspect = Inspect("u.exe", false);
        if (std::string(c.expect).empty()) {
            EXPECT_EQ(v.rc, 0) << c.name << v.out << v.err;
            EXPECT_EQ(inspect.rc, 0) << c.name;
            continue;
        }
        EXPECT_EQ(v.rc, 2) << c.name;
        EXPECT_NE(v.err.find(c.expect), std::string::npos) << c.name << "\n" << v.err;
        EXPECT_NE(v.err.find("file offset "), std::string::npos) << v.err;
        EXPECT_NE(v.err.find("would refuse"), std::string::npos) << v.err;
        EXPECT_EQ(inspect.rc, 2) << c.name;
        EXPECT_NE(inspect.err.find(c.expect), std::string::npos) << c.name << "\n" << inspect.err;
    }
}

TEST_F(Workspace, VerifyReportsOddChunksOfAReadableStream) {
    UninstallData d = ParseManifest(Manifest());
    Bytes stream = EncodeChunk(ChunkTag::MessageTable, EncodeMessageTable(d.messages), 4);
    Bytes more = EncodeChunk(0x1238, Bytes(3, 0));
    Bytes settings = EncodeChunk(ChunkTag::RunSettings, EncodeRunSettings(d.settings));
    for (const Bytes* b : {&more, &settings, &settings}) stream.insert(stream.end(), b->begin(), b->end());
    Bytes end = EncodeChunkHeader(ChunkTag::End, 0, 0);
    stream.insert(stream.end(), end.begin(), end.end());
    Write("u.exe", BuildUninstaller(stub_, stream));
    Run v = Verify("u.exe");
    EXPECT_EQ(v.rc, 1);
    for (const char* expect : {"chunk at stream offset 0: has flags 0x4", "unknown tag 0x1238",
                               "second RunSettings chunk"})
        EXPECT_NE(v.out.find(expect), std::string::npos) << expect << "\n" << v.out;
}

// Random damage to a real build: never a crash or an exception, exit 2 always names an offset,
// and a cut anywhere inside the stream is always refused.
TEST_F(Workspace, DamagedFilesNeverCrashAndNameTheOffset) {
    Write("m.json", std::string(kRichManifest));
    ASSERT_EQ(Build("m.json", "good.exe").rc, 0);
    const Bytes good = Read("good.exe");
    const size_t dataOffset = stub_.size();
    std::mt19937 random(20240611);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes file = good;
        bool truncated = false;
        switch (round % 5) {
        case 0:  // cut inside the stream
            file.resize(dataOffset + random() % (good.size() - dataOffset));
            truncated = true;
            break;
        case 1:  // a few bytes of the stream changed
            for (int k = 0; k < 1 + int(random() % 4); ++k)
                file[dataOffset + random() % (file.size() - dataOffset)] = static_cast<uint8_t>(random());
            break;
        case 2: {  // a count or size made huge
            size_t at = dataOffset + random() % (file.size() - dataOffset - 4);
            for (int k = 0; k < 4; ++k) file[at + k] = 0xFF;
            break;
        }
        case 3: {  // bytes inserted
            size_t at = dataOffset + random() % (file.size() - dataOffset);
            file.insert(file.begin() + at, 1 + random() % 7, static_cast<uint8_t>(random()));
            break;
        }
        default:  // anywhere in the file, the locator included
            file[random() % file.size()] ^= static_cast<uint8_t>(1 + random() % 255);
            break;
        }
        std::ostringstream out, err;
        int rcInspect = InspectBytes(file, "damaged.exe", round % 2 == 0, out, err);
        int rcVerify = VerifyBytes(file, "damaged.exe", out, err);
        for (int rc : {rcInspect, rcVerify}) {
            ASSERT_TRUE(rc == 0 || rc == 1 || rc == 2) << round;
            if (truncated) {
                ASSERT_EQ(rc, 2) << "round " << round << " cut at " << file.size();
            }
        }
        if (rcVerify == 2) {
            ++refused;
            // A damaged locator marker leaves no offset to name: the file then has no locator.
            ASSERT_TRUE(err.str().find("offset") != std::string::npos ||
                        err.str().find("no data locator") != std::string::npos)
                << "round " << round << ": " << err.str();
        }
    }
    EXPECT_GT(refused, 600);  // the cuts alone
}

// The program itself: exit codes as a script sees them.
TEST_F(Workspace, ProgramExitCodes) {
    auto run = [this](const std::string& args) {
        int status = std::system((std::string(UNINSTPACK_EXE) + " " + args + " >" + Path("out.txt") + " 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    Write("clean.json", Manifest());
    Write("few.json", Manifest("", "", "", R"("messages": {"0": "a"})"));
    EXPECT_EQ(run("build " + Path("clean.json") + " --stub " + Path("stub.exe") + " -o " + Path("u.exe")), 0);
    EXPECT_EQ(run("inspect " + Path("u.exe")), 0);
    EXPECT_EQ(run("inspect --json " + Path("u.exe")), 0);
    EXPECT_EQ(run("verify " + Path("u.exe")), 0);
    EXPECT_EQ(run("verify " + Path("few.json")), 0);  // warnings only
    EXPECT_EQ(run("verify --strict " + Path("few.json")), 1);
    EXPECT_EQ(run("verify " + Path("missing.json")), 2);
    EXPECT_EQ(run("verify " + Path("stub.exe")), 2);  // DataOffset is its own length: no stream
    EXPECT_EQ(run("frobnicate"), 2);
    EXPECT_EQ(run("build " + Path("clean.json")), 2);  // --stub and -o missing
    EXPECT_EQ(run("build " + Path("clean.json") + " --stub " + Path("stub.exe") + " -o " + dir_.string()), 2);
}

// Path fields as the uninstaller reads them: "/" is "\"; a relative directory is "." or ".\NAME";
// everything else that is not absolute is refused naming the field and what to write. The same
// texts in a built file are errors of verify.
TEST_F(Workspace, PathsAreWhatTheySay) {
    struct {
        const char* directory;
        const char* expect;  // empty: accepted
    } cases[] = {
        {"./data", ""},
        {".", ""},
        {"C:/App/data/", ""},
        {R"(\\server\share\App)", ""},
        {"data", R"(write ".\data")"},
        {"C:data", "relative to the current folder of drive C:"},
        {R"(\x)", "relative to the root of whatever drive"},
        {R"(%X%\y)", "does not expand"},
        {R"(#Program Files#\App)", ""},
        {R"(#appdata#)", ""},
        {R"(#Nowhere#\App)", R"("#Nowhere#", which is no folder macro the uninstaller knows)"},
        {R"(#Program Files)", "which is no folder macro"},
        {R"(#Program Files#App)", "runs on from its macro"},
        {R"(#AppData#\..\x)", R"(".." step)"},
        {R"(C:\App\#System#)", R"(holds the folder macro "#System#" after its start)"},
        {R"(.\#installdir#)", "after its start"},
        {R"(C:\App\#Nowhere#)", ""},  // a "#" elsewhere is part of a name
        {R"(..\..)", R"(begins with "." but not with)"},
        {".foo", R"(begins with "." but not with)"},
        {R"(.\a\\b)", "empty step"},
        {R"(.\..\x)", R"(".." step)"},
        {R"(C:\App\..\Windows)", R"(".." step)"},
        {R"(C:\App\a?b)", R"(the character "?")"},
        {"", "is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        Write("m.json", Manifest(R"({"directory": )" + Json(c.directory).dump() + R"(, "fileName": "a.txt"})"));
        Run build = Build("m.json", "out.exe");
        bool accepted = std::string(c.expect).empty();
        EXPECT_EQ(build.rc, accepted ? 0 : 2) << build.err;
        if (accepted) {
            DecodeResult r = DecodeUninstaller(Read("out.exe"));
            EXPECT_TRUE(r.ok && r.data.files[0].directory.find(u'/') == std::u16string::npos) << "stored with \"/\"";
            fs::remove(Path("out.exe"));
            continue;
        }
        EXPECT_NE(build.err.find("files[0].directory: "), std::string::npos) << build.err;
        EXPECT_NE(build.err.find(c.expect), std::string::npos) << build.err;
        EXPECT_FALSE(fs::exists(Path("out.exe")));
        // The same text written by another writer, then verified.
        UninstallData d = ParseManifest(Manifest());
        std::string raw = c.directory;
        d.files.push_back({std::u16string(raw.begin(), raw.end()), u"a.txt", 0});
        Write("u.exe", BuildUninstaller(stub_, EncodeSealedStream(d)));
        Run v = Verify("u.exe", false);
        EXPECT_EQ(v.rc, 1) << v.out;
        EXPECT_NE(v.out.find("error: file record 0: directory"), std::string::npos) << v.out;
    }
}

// Records that would delete what no author means: build refuses them (exit 2, nothing written),
// verify reports them as errors even without --strict.
TEST_F(Workspace, RecordsNoAuthorMeansAreRefused) {
    struct {
        std::string files, shortcuts, registry;
        const char* expect;
    } cases[] = {
        {R"({"directory": "C:\\"})", "", "", "file record 0: is a folder record that names the drive root"},
        {R"({"directory": "c:/windows"})", "", "", "file record 0: is a folder record that names the system folder"},
        {"", R"({"firstFolder": "C:\\Users\\jo\\Desktop"})", "", "shortcut record 0: first folder names the system"},
        {"", "", R"({"root": "HKLM", "key": "Software"})", "registry record 0: key HKLM \"Software\" is a whole top-level"},
        {"", "", R"({"root": "HKCR", "key": "CLSID"})", "registry record 0: key HKCR \"CLSID\" holds every program's"},
        {R"({"directory": "C:\\windows\\Fonts."})", "", "", "file record 0: is a folder record that names the "
                                                           "system folder \"C:\\windows\\Fonts\" (Windows reads"},
        {R"({"directory": "C:/users/Public/Desktop. "})", "", "", "file record 0: is a folder record that names the"},
        {R"({"directory": "C:\\Documents and Settings\\Administrator"})", "", "", "file record 0: is a folder record"},
        {R"({"directory": "C:\\WINDOWS\\SysWOW64"})", "", "", "file record 0: is a folder record that names the"},
        {"", R"({"firstFolder": "D:\\Users\\jo\\Saved Games"})", "", "shortcut record 0: first folder names the system"},
        {"", R"({"firstFolder": "C:\\Users\\jo\\AppData\\Roaming\\Microsoft\\Windows\\SendTo"})", "",
         "shortcut record 0: first folder names the system"},
        {R"({"directory": "C:\\windows", "fileName": "notepad.exe"})", "", "",
         "file record 0: names \"C:\\windows\\notepad.exe\", a file that ships with Windows"},
        {R"({"directory": "C:\\windows", "fileName": "system32\\kernel32.dll", "flags": ["shared"]})", "", "",
         "file record 0: names \"C:\\windows\\system32\\kernel32.dll\", a file that ships"},
        {R"({"directory": "C:\\Windows\\System32\\drivers\\etc", "fileName": "hosts"})", "", "", "file record 0: names"},
        {R"({"directory": "#System#", "fileName": "kernel32.dll", "flags": ["shared"]})", "", "",
         "file record 0: names \"C:\\Windows\\System32\\kernel32.dll\", a file that ships"},
        {R"({"directory": "C:\\Windows\\Fonts", "fileName": "Arial.ttf", "flags": ["font"]})", "", "", "file record 0: names"},
        {"", "", R"({"root": "HKLM", "key": "Software\\Classes\\exefile"})",
         "registry record 0: key HKLM \"Software\\Classes\\exefile\" holds every program's file types"},
        {"", "", R"({"root": "HKLM", "key": "System\\ControlSet001\\Services"})", "registry record 0: key HKLM"},
        {"", "", R"({"root": "HKCU", "key": "Environment", "value": "Path"})",
         "registry record 0: value \"Path\" of key HKCU \"Environment\" is one Windows owns"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expect);
        Write("m.json", Manifest(c.files, c.shortcuts, c.registry));
        Run build = Build("m.json", "out.exe");
        EXPECT_EQ(build.rc, 2);
        EXPECT_NE(build.err.find(c.expect), std::string::npos) << build.err;
        EXPECT_FALSE(fs::exists(Path("out.exe")));
        Run v = Verify("m.json", false);
        EXPECT_EQ(v.rc, 1) << v.out;
        EXPECT_NE(v.out.find(std::string("error: ") + c.expect), std::string::npos) << v.out;
    }
    // A warning is written without --strict and refused with it.
    Write("few.json", Manifest("", "", "", R"("messages": {"0": "a"})"));
    EXPECT_EQ(Build("few.json", "out.exe").rc, 0);
    Options strict;
    strict.strict = true;
    EXPECT_EQ(Build("few.json", "strict.exe", strict).rc, 1);
    EXPECT_FALSE(fs::exists(Path("strict.exe")));
}

// Protected folders and Windows' files in the spellings another writer may store, which a
// manifest refuses outright: verify reports each as an error, and keeps the product's own.
TEST_F(Workspace, DisguisedRecordsInDataFromAnotherWriter) {
    struct {
        const char16_t *directory, *fileName;
        const char* expect;  // empty: no error
    } cases[] = {
        {u"C:\\users\\Public\\Documents\\..\\Documents\\.", u"", "names the system folder \"C:\\users\\Public\\Documents\""},
        {u"\\\\?\\C:\\Users\\Public\\Documents", u"", "names the system folder \"C:\\Users\\Public\\Documents\""},
        {u"\\??\\c:\\windows\\fonts", u"", "names the system folder \"c:\\windows\\fonts\""},
        {u"\\\\.\\C:\\Windows\\\\Fonts\\", u"", "names the system folder \"C:\\Windows\\Fonts\""},
        {u"\\\\?\\UNC\\server\\share\\x\\..", u"", "names the root of a network share"},
        {u"C:\\Program Files\\Acme\\..\\..\\Users\\jo\\Links", u"", "names the system folder \"C:\\Users\\jo\\Links\""},
        {u"C:\\Windows\\System32\\.\\drivers\\..", u"CMD.exe. ", "names \"C:\\Windows\\System32\\CMD.exe\", a file"},
        {u"\\\\?\\C:\\Windows\\system32\\drivers\\etc", u"HOSTS", "a file that ships with Windows"},
        {u"C:\\Users\\jo\\Links\\Acme", u"", ""},
        {u"C:\\Windows.old\\Acme", u"", ""},
        {u"C:\\Program Files\\Acme", u"notepad.exe", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expect);
        UninstallData d = ParseManifest(Manifest());
        d.files.push_back({c.directory, c.fileName, 0});
        size_t errors = 0;
        std::string found;
        for (const Problem& p : CheckData(d))
            if (p.error && (p.what.rfind("names ", 0) == 0 || p.what.rfind("is a folder record", 0) == 0)) {
                ++errors;
                found += p.what + "\n";
            }
        EXPECT_EQ(errors, *c.expect ? 1u : 0u) << found;
        EXPECT_NE(found.find(c.expect), std::string::npos) << found;
    }
}

// The registry Windows owns in the spellings a record may use, refused; the product's own keys
// and values beside them, kept (as the uninstaller removes them).
TEST_F(Workspace, RegistryWindowsOwnsIsRefusedInAnySpelling) {
    const uint32_t CR = 0x80000000, CU = 0x80000001, LM = 0x80000002, U = 0x80000003;
    struct {
        uint32_t root;
        const char16_t *key, *value;  // value null: a key record
        bool refused;
    } cases[] = {
        {LM, u"Software\\Classes\\exefile", nullptr, true},
        {LM, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", nullptr, true},
        {LM, u"System\\CurrentControlSet\\Services", nullptr, true},
        {LM, u"System\\ControlSet001\\Services", nullptr, true},
        {LM, u"System\\ControlSet001\\Services\\AcmeSvc", nullptr, false},
        {LM, u"System\\CurrentControlSet\\Services\\EventLog\\Application", nullptr, true},
        {LM, u"System\\CurrentControlSet\\Services\\EventLog\\Application\\Acme", nullptr, false},
        {CR, u"CLSID", nullptr, true},
        {CR, u"CLSID\\{1234}", nullptr, false},
        {CR, u".acme", nullptr, false},
        {CR, u"Directory\\shell\\AcmeOpen", nullptr, false},
        {CR, u"Directory\\shell", nullptr, true},
        {CR, u"Directory\\Background\\shellex\\ContextMenuHandlers", nullptr, true},
        {CR, u"Directory\\Background\\shellex\\ContextMenuHandlers\\Acme", nullptr, false},
        {LM, u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeApp", nullptr, false},
        {LM, u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", nullptr, true},
        {LM, u"\\software\\\\microsoft\\windows\\currentversion\\uninstall\\", nullptr, true},
        {LM, u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall", nullptr, true},
        {LM, u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme", nullptr, false},
        {LM, u"Software\\Wow6432Node", nullptr, true},
        {LM, u"Software\\Acme", nullptr, false},
        {LM, u"Software", nullptr, true},
        {LM, u"Software\\Classes", nullptr, true},
        {LM, u"Software\\Classes\\Wow6432Node\\CLSID", nullptr, true},
        {LM, u"Software\\Wow6432Node\\Classes\\CLSID", nullptr, true},
        {U, u"S-1-5-21-1\\Software\\Microsoft", nullptr, true},
        {U, u"S-1-5-21-1_Classes\\CLSID", nullptr, true},
        {U, u"S-1-5-21-1_Classes\\.acme", nullptr, false},
        {U, u"S-1-5-21-1", nullptr, true},
        {U, u"S-1-5-21-1\\Software\\Acme", nullptr, false},
        {CU, u"Environment", u"Path", true},
        {CU, u"Environment", u"ACME_HOME", false},
        {CU, u"Environment", u"ComSpec", true},
        {LM, u"System\\CurrentControlSet\\Control\\Session Manager\\Environment", u"PATH", true},
        {LM, u"System\\ControlSet002\\Control\\Session Manager\\Environment", u"windir", true},
        {LM, u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", u"Userinit", true},
        {LM, u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", u"AcmeThing", false},
        {LM, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"AcmeTray", false},
        {CR, u".exe", u"", true},
        {CR, u"exefile\\shell\\open\\command", u"", true},
        {CR, u".acme", u"", false},
        {CR, u"CLSID\\{1234}", u"", false},
        {0x80000005, u"Software\\Acme", nullptr, true},
        {0x12345678, u"Software", nullptr, false},
        {CU, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", u"Personal", true},
        {CU, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", nullptr, true},
        {CU, u"Software\\Policies\\Acme", nullptr, false},
        {CU, u"Software\\Policies", nullptr, true},
        {LM, u"System", nullptr, true},
        {LM, u"System\\Select", nullptr, true},
        {CR, u"*\\shellex\\ContextMenuHandlers\\Acme", nullptr, false},
        {CR, u"*", nullptr, true},
        {CR, u"Wow6432Node\\CLSID\\{x}", nullptr, false},
    };
    UninstallData d = ParseManifest(Manifest());
    for (const auto& c : cases)
        d.registry.push_back({c.root, c.key + (c.value ? u"\\\\" + std::u16string(c.value) : std::u16string())});
    std::vector<Problem> problems = CheckData(d);
    for (size_t i = 0; i < std::size(cases); ++i) {
        bool refused = std::any_of(problems.begin(), problems.end(), [i](const Problem& p) {
            return p.error && p.where == "registry record " + std::to_string(i);
        });
        EXPECT_EQ(refused, cases[i].refused) << Printable(d.registry[i].path);
    }
}

// One run names every mistake: of a manifest (its fields, and the records no mistake is in), and
// of a staged tree.
TEST_F(Workspace, EveryMistakeIsNamedInOneRun) {
    Write("m.json", Manifest(R"({"directory": "data", "flags": ["bogus"]}, {"directory": "C:\\Windows\\Fonts"})", "",
                             R"({"root": "HKXX", "key": "Software\\V"}, {"root": "HKCR", "key": "CLSID"})"));
    Run build = Build("m.json", "out.exe");
    EXPECT_EQ(build.rc, 2);
    Run verify = Verify("m.json", false);
    EXPECT_EQ(verify.rc, 2);
    for (const char* said : {"files[0].directory: \"data\" is relative", "files[0].flags[0]: unknown flag",
                             "registry[0].root: unknown root", "file record 1: is a folder record that names the",
                             "registry record 1: key HKCR"}) {
        EXPECT_NE(build.err.find(said), std::string::npos) << said << "\n" << build.err;
        EXPECT_NE(verify.err.find(said), std::string::npos) << said << "\n" << verify.err;
    }
    EXPECT_EQ(build.err.find("file record 0"), std::string::npos) << "a record with a mistake is named once";

    fs::create_directories(dir_ / "stage/sub");
    for (const char* name : {"a:b.txt", "con.txt", "sub/trailing.", "sub/Same", "sub/same"})
        Write("stage/" + std::string(name), std::string("x"));
    Run r = Command({"harvest", Path("stage"), "--install-dir", "C:\\Windows", "--flag", "bogus=*", "-o", Path("h.json")});
    EXPECT_EQ(r.rc, 2);
    for (const char* said : {"--flag bogus=*: write NAME=PATTERN"}) EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    r = Command({"harvest", Path("stage"), "--install-dir", "C:\\Windows", "-o", Path("h.json")});
    EXPECT_EQ(r.rc, 2);
    for (const char* said : {"a:b.txt: the name holds", "con.txt: the name is a device name", "trailing.: the name ends",
                             "only in case", "stage: is a folder record that names the system folder", "5 errors"})
        EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
    EXPECT_FALSE(fs::exists(Path("h.json")));
}

// Where build may write: never over an input (also through a hard or symbolic link), never onto
// a folder or a device, a read-only file only with --force; a link is written through.
TEST_F(Workspace, OutputTargets) {
    Write("m.json", Manifest());
    const Bytes manifest = Read("m.json");
    fs::create_directory(Path("folder"));
    fs::create_hard_link(Path("stub.exe"), Path("stub-link.exe"));
    fs::create_symlink("m.json", Path("manifest-symlink"));
    fs::create_symlink("target.exe", Path("out-symlink.exe"));
    Write("readonly.exe", Bytes(10, 1));
    fs::permissions(Path("readonly.exe"), fs::perms::owner_read | fs::perms::group_read);
    struct {
        std::string output;
        bool force;
        const char* expect;  // empty: written
    } cases[] = {
        {Path("m.json"), false, "it is the manifest"},
        {Path("manifest-symlink"), false, "it is the manifest"},
        {Path("stub.exe"), false, "it is the stub"},
        {Path("stub-link.exe"), false, "it is the stub"},
        {Path("folder"), false, "it is a folder"},
        {"/dev/null", false, "not a regular file"},
        {Path("missing/out.exe"), false, "No such file or directory"},
        {Path("readonly.exe"), false, "read-only; give --force"},
        {Path("readonly.exe"), true, ""},
        {Path("out-symlink.exe"), false, ""},
        {Path("new.exe"), false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        Options options;
        options.force = c.force;
        Run build = Build("m.json", c.output, options);
        bool written = std::string(c.expect).empty();
        EXPECT_EQ(build.rc, written ? 0 : 2) << build.err;
        if (!written) {
            EXPECT_NE(build.err.find(c.expect), std::string::npos) << build.err;
        }
        EXPECT_EQ(Read("m.json"), manifest);
        EXPECT_EQ(Read("stub.exe"), stub_);
    }
    EXPECT_TRUE(fs::is_symlink(Path("out-symlink.exe")));
    EXPECT_EQ(GetDataOffset(Read("target.exe")), stub_.size());
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".uninstpack-"), std::string::npos) << "temporary file left";
}

// Each single-bit flip in the data of a built file is caught: the CRC-32, or the chunk walk for
// the bits outside what it covers.
TEST_F(Workspace, EverySingleBitFlipInTheDataFailsStrictVerify) {
    Write("m.json", std::string(kRichManifest));
    ASSERT_EQ(Build("m.json", "good.exe").rc, 0);
    const Bytes good = Read("good.exe");
    Run verified = Capture([&](auto& out, auto& err) { return VerifyBytes(good, "good.exe", out, err); });
    ASSERT_EQ(verified.rc, 0) << verified.out;
    std::mt19937 random(7);
    Options strict;
    strict.strict = true;
    for (int round = 0; round < 200; ++round) {
        Bytes file = good;
        size_t at = stub_.size() + random() % (good.size() - stub_.size());
        file[at] ^= static_cast<uint8_t>(1u << (random() % 8));
        std::ostringstream out, err;
        EXPECT_NE(VerifyBytes(file, "flipped.exe", out, err, strict), 0) << "bit flip at file offset " << at;
    }
    Bytes file = good;
    file[stub_.size() + 20] ^= 1;
    std::ostringstream out, err;
    EXPECT_EQ(InspectBytes(file, "flipped.exe", false, out, err), 2);
    EXPECT_NE(err.str().find("integrity chunk holds CRC-32"), std::string::npos) << err.str();
}

// A program part with a PE header, its security directory pointing at a certificate table when
// `certificate` is not empty (as signing leaves it: 8-byte aligned, at the file's end).
Bytes WithPeHeader(Bytes file, const Bytes& certificate) {
    auto put32 = [&file](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::fill(file.begin() + 0x3C, file.begin() + 0x58 + 96 + 5 * 8, 0);
    put32(0x3C, 0x40);
    file[0x40] = 'P', file[0x41] = 'E', file[0x42] = 0, file[0x43] = 0;
    file[0x58] = 0x0B, file[0x59] = 0x01;  // PE32
    put32(0x58 + 92, 5);                   // data directories, the security one last
    if (!certificate.empty()) {
        file.resize((file.size() + 7) / 8 * 8, 0);
        put32(0x58 + 96 + 4 * 8, static_cast<uint32_t>(file.size()));
        put32(0x58 + 96 + 4 * 8 + 4, static_cast<uint32_t>(certificate.size()));
        file.insert(file.end(), certificate.begin(), certificate.end());
    }
    return file;
}

TEST_F(Workspace, SignedFiles) {
    Bytes pe = WithPeHeader(stub_, {});
    SetDataOffset(pe, static_cast<uint32_t>(pe.size()));
    Write("pe.exe", pe);
    Write("m.json", Manifest());
    Run build = Build("m.json", "u.exe", {}, "pe.exe");
    ASSERT_EQ(build.rc, 0) << build.err;
    const Bytes built = Read("u.exe");
    const Bytes certificate(1000, 0x30);
    Write("signed.exe", WithPeHeader(built, certificate));
    Run v = Verify("signed.exe");
    EXPECT_EQ(v.rc, 0) << v.out << v.err;
    Run inspect = Inspect("signed.exe", false);
    EXPECT_EQ(inspect.rc, 0) << inspect.err;
    size_t certificateAt = Read("signed.exe").size() - certificate.size();
    EXPECT_NE(inspect.out.find("signature: certificate table at file offset " + std::to_string(certificateAt) +
                               ", 1000 bytes"),
              std::string::npos)
        << inspect.out;
    EXPECT_NE(inspect.out.find("stream of " + std::to_string(certificateAt - pe.size()) + " bytes"), std::string::npos)
        << inspect.out;
    // A signed stub: the signature would break, so build says to sign afterwards.
    Bytes signedStub = WithPeHeader(pe, certificate);
    Write("signed-stub.exe", signedStub);
    build = Build("m.json", "x.exe", {}, "signed-stub.exe");
    EXPECT_EQ(build.rc, 2);
    EXPECT_NE(build.err.find("the stub is signed"), std::string::npos) << build.err;
    EXPECT_NE(build.err.find("sign the uninstaller after build"), std::string::npos) << build.err;
}

TEST_F(Workspace, CommandLine) {
    Write("m.json", Manifest());
    struct {
        std::vector<std::string> args;
        std::string input;
        int rc;
        const char* out;
        const char* err;
    } cases[] = {
        {{"--version"}, "", 0, "uninstpack 1.", ""},
        {{"help", "build"}, "", 0, "usage: uninstpack build MANIFEST", ""},
        {{"verify", "--help"}, "", 0, "usage: uninstpack verify FILE", ""},
        {{}, "", 2, "", "no command given (commands: build, inspect, verify, harvest, languages, help)"},
        {{"frobnicate"}, "", 2, "", "unknown command \"frobnicate\" (commands: build, inspect, verify, harvest, languages, help)"},
        {{"help", "frobnicate"}, "", 2, "", "unknown command \"frobnicate\""},
        {{"build", Path("m.json")}, "", 2, "", "uninstpack build: --stub STUB is missing"},
        {{"build"}, "", 2, "", "usage: uninstpack build MANIFEST --stub"},
        {{"inspect", "--strict", "x"}, "", 2, "", "unknown option \"--strict\""},
        {{"verify", "a", "b"}, "", 2, "", "one FILE only"},
        {{"languages", "de"}, "", 2, "", "takes no operand"},
        {{"harvest", dir_.string()}, "", 2, "", "--install-dir PATH is missing"},
        {{"harvest", "--install-dir", "."}, "", 2, "", "DIR is missing"},
        {{"verify", "-"}, Manifest(), 0, "-: no problems found", ""},
        {{"verify", "--json", "-"}, "{\"files\": []}", 0, "\"severity\": \"warning\"", ""},
        {{"verify", "--strict", "--json", "-"}, "{}", 1, "\"exitCode\": 1", ""},
        {{"verify", "--json", Path("missing")}, "", 2, "\"unusable\"", "No such file or directory"},
        {{"verify", Path("m.json") + "x"}, "", 2, "", "x: cannot open: No such file or directory"},
        {{"verify", dir_.string()}, "", 2, "", "cannot read: it is a folder"},
        {{"build", "-", "--stub", Path("stub.exe"), "-o", Path("from-stdin.exe")}, Manifest(), 0, "wrote", ""},
        {{"build", "--stub=" + Path("stub.exe"), "--output=-", "-"}, Manifest(), 0, "MZ", "wrote -"},
        {{"verify", "--define", "Version", "-"}, Manifest(), 2, "", "--define needs NAME=VALUE"},
        {{"verify", "--define", "V=1", "--define=V=2", "-"}, Manifest(), 2, "", "--define V is given twice"},
        {{"verify", "--define", "Vrsion=1", "-"}, Manifest(), 0, "no problems", "--define Vrsion is used by no text"},
        {{"inspect", "--define", "V=1", "x"}, "", 2, "", "unknown option \"--define\""},
        {{"verify", "--force", "x"}, "", 2, "", "unknown option \"--force\""},
        {{"build", Path("m.json"), "--strict=1"}, "", 2, "", "--strict takes no value"},
        {{"harvest", "x", "--flag"}, "", 2, "", "--flag needs NAME=PATTERN"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        Run r = Command(c.args, c.input);
        EXPECT_EQ(r.rc, c.rc) << r.out << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("/usr/local/bin"), std::string::npos) << "only the program's name is shown";
    }
    Run built = Command({"build", "--stub=" + Path("stub.exe"), "--output=-", "-"}, Manifest());
    std::ostringstream out, err;
    EXPECT_EQ(InspectBytes(Bytes(built.out.begin(), built.out.end()), "-", false, out, err), 0) << err.str();
}

// "${NAME}" is filled in every text before any check, "$${" stays a literal "${"; macros are kept
// as written, and inspect shows them so.
TEST_F(Workspace, DefinesFillTheManifestBeforeAnyCheck) {
    Write("m.json", Manifest(R"({"directory": "${Dir}", "fileName": "a.txt"})",
                             R"({"firstFolder": "#Programs#\\${Menu}", "fileName": "$${Menu}.lnk"})"));
    const std::vector<std::string> build = {"build", Path("m.json"), "--stub", Path("stub.exe"), "-o", Path("o.exe")};
    std::vector<std::string> args = build;
    args.insert(args.end(), {"--define", "Dir=#Program Files#\\App", "--define=Menu=Sample Notes"});
    Run r = Command(args);
    ASSERT_EQ(r.rc, 0) << r.err;
    DecodeResult d = DecodeUninstaller(Read("o.exe"));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.data.files[0].directory, u"#Program Files#\\App");
    EXPECT_EQ(d.data.shortcuts[0].firstFolder, u"#Programs#\\Sample Notes");
    EXPECT_EQ(d.data.shortcuts[0].fileName, u"${Menu}.lnk");
    EXPECT_NE(Inspect("o.exe", false).out.find(R"(directory "#Program Files#\App")"), std::string::npos);
    args = build;
    args.insert(args.end(), {"--define", "Dir=data", "--define", "Menu=M"});
    r = Command(args);
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find(R"(files[0].directory: "data" is relative)"), std::string::npos) << r.err;
}

// A staged tree with what trips a harvester: nested and empty folders, spaces and letters beyond
// ASCII, names that sort differently with and without case, and links to a file, to a folder
// (its contents must not come twice) and to nothing; and what --exclude leaves out, by name (a
// name Windows cannot hold too) and by path, a folder with all it holds.
TEST_F(Workspace, HarvestRecordsTheTreeInInstallationOrder) {
    const fs::path stage = dir_ / "stage";
    for (const char* folder : {"data/sub/deep", "empty", "sub dir", "Zeta", "obj/x", "data/obj"})
        fs::create_directories(stage / folder);
    for (const char* file : {"App.EXE", "readme.txt", "data/Größe ü.txt", "data/sub/deep/x.dll", "sub dir/a b.txt",
                             "alpha.txt", "App.pdb", "data/sub/deep/x:y.PDB", "obj/x/a.o"})
        Write("stage/" + std::string(file), std::string("x"));
    fs::create_symlink("readme.txt", stage / "link.txt");
    fs::create_symlink("data", stage / "linked");
    fs::create_symlink("missing", stage / "dangling");
    const std::vector<std::string> args = {"harvest", stage.string(), "--install-dir", "C:/Program Files/Ünï App/",
                                           "--flag", "in-use=*.exe", "--flag=com=data/sub/*/*.dll", "--flag",
                                           "shared=*.none", "--exclude", "*.pdb", "--exclude=obj", "--exclude",
                                           "data\\obj", "--exclude", "*.none"};
    Run r = Command(args);
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string app = "C:\\Program Files\\Ünï App";
    const std::vector<std::vector<std::string>> expected = {
        {app, ""}, {app, "alpha.txt"}, {app, "App.EXE", "in-use"}, {app, "dangling"}, {app, "link.txt"},
        {app, "readme.txt"}, {app + "\\data", ""}, {app + "\\data", "Größe ü.txt"}, {app + "\\data\\sub", ""},
        {app + "\\data\\sub\\deep", ""}, {app + "\\data\\sub\\deep", "x.dll", "com"}, {app + "\\empty", ""},
        {app + "\\linked", ""}, {app + "\\sub dir", ""}, {app + "\\sub dir", "a b.txt"}, {app + "\\Zeta", ""}};
    Json files = Json::parse(r.out)["files"];
    ASSERT_EQ(files.size(), expected.size()) << r.out;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(files[i]["directory"], expected[i][0]) << i;
        EXPECT_EQ(files[i]["fileName"], expected[i][1]) << i;
        EXPECT_EQ(files[i]["flags"], expected[i].size() > 2 ? Json::array({expected[i][2]}) : Json::array()) << i;
    }
    for (const char* said : {"link.txt: a symbolic link to a file", "linked: a symbolic link to a folder",
                             "dangling: a symbolic link that points nowhere", "shared=*.none matched no file",
                             "--exclude *.none matched nothing"})
        EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
    EXPECT_EQ(Command(args).out, r.out);
    Write("h.json", r.out);
    EXPECT_EQ(Verify("h.json").out.find("file record"), std::string::npos) << Verify("h.json").out;
}

// Each case: a staged folder, options, and words of the refusal; nothing may be written.
TEST_F(Workspace, HarvestRefusesWhatAWindowsFolderCannotHold) {
    struct {
        std::vector<const char*> files;  // below a fresh "stage" folder
        std::vector<std::string> options;
        const char* expect;
    } cases[] = {
        {{"a:b.txt"}, {}, "a:b.txt: the name holds the character \":\""},
        {{"con.txt"}, {}, "is a device name on Windows"},
        {{"trailing."}, {}, "ends in a space or a dot"},
        {{"Readme", "README"}, {}, "differs from"},
        {{"ok"}, {"--install-dir", "data"}, "--install-dir \"data\" is relative to the uninstaller's current folder"},
        {{"ok"}, {"--install-dir", "C:\\Windows"}, "is a folder record that names the system folder"},
        {{"ok"}, {"--install-dir", "#Program Files#"}, "names the system folder \"#Program Files#\""},
        {{"ok"}, {"--install-dir", "#Nowhere#\\App"}, "which is no folder macro"},
        {{"ok"}, {"--flag", "readonly=*"}, "write NAME=PATTERN"},
        {{"ok"}, {"-o", "stage/out.json"}, "lies in the staged folder"},
        {{}, {}, "no such folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expect);
        fs::remove_all(dir_ / "stage");
        if (!c.files.empty()) fs::create_directories(dir_ / "stage");
        for (const char* file : c.files) Write("stage/" + std::string(file), std::string("x"));
        std::vector<std::string> args = {"harvest", Path("stage"), "--install-dir", "C:\\App", "-o", Path("h.json")};
        for (size_t i = 0; i < c.options.size(); i += 2) {
            std::string value = c.options[i] == "-o" ? Path(c.options[i + 1]) : c.options[i + 1];
            auto at = std::find(args.begin(), args.end(), c.options[i]);
            if (at != args.end()) *(at + 1) = value;
            else args.insert(args.end(), {c.options[i], value});
        }
        Run r = Command(args);
        EXPECT_EQ(r.rc, 2) << r.err;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(Path("h.json")) || fs::exists(Path("stage/out.json")));
    }
}

// The hand-written manifest keeps its fields; its record for a harvested file (written with "/"
// and other case) takes that record's place, its other records follow the tree's.
TEST_F(Workspace, HarvestMergesIntoAHandWrittenManifest) {
    fs::create_directories(dir_ / "stage/bin");
    Write("stage/bin/app.exe", std::string("x"));
    Write("hand.json", std::string(R"({"language": "de", "product": "Beispiel", "messages": {"2": ""},
        "files": [{"directory": "C:\\Windows\\System32", "fileName": "rt.dll", "flags": ["shared"]},
                  {"directory": "#program files#/App/BIN/", "fileName": "App.exe", "flags": ["in-use", "com"]}],
        "settings": {"wait": true}})"));
    Run r = Command({"harvest", Path("stage"), "--install-dir", "#Program Files#\\App", "--merge", Path("hand.json"), "-o",
                     Path("merged.json")});
    ASSERT_EQ(r.rc, 0) << r.err;
    std::ifstream in(Path("merged.json"));
    Json m = Json::parse(in);
    EXPECT_EQ(m["language"], "de");
    EXPECT_EQ(m["settings"]["wait"], true);
    ASSERT_EQ(m["files"].size(), 4u) << m.dump();
    EXPECT_EQ(m["files"][0]["directory"], "#Program Files#\\App");
    EXPECT_EQ(m["files"][1]["directory"], "#Program Files#\\App\\bin");
    EXPECT_EQ(m["files"][2]["flags"], Json::array({"in-use", "com"}));
    EXPECT_EQ(m["files"][3]["fileName"], "rt.dll");
    Run v = Verify("merged.json");
    EXPECT_EQ(v.rc, 0) << v.out;
    UninstallData d = ParseManifest(m.dump());
    EXPECT_EQ(d.messages[2], u"");  // a message the manifest gives, even empty, is not replaced
    EXPECT_EQ(d.messages[5], u"&Nein");
}

// Every set: sixteen texts, none empty, the product's name in the caption, "%s" once in each text
// the uninstaller formats with a path and nowhere else, and clean under the tool's own checks
// (which also look at the buttons' access keys).
TEST_F(Workspace, EveryLanguageSetIsCompleteAndClean) {
    Run list = Command({"languages"});
    ASSERT_EQ(list.rc, 0);
    EXPECT_GE(LanguageSets().size(), 11u);
    EXPECT_EQ(static_cast<size_t>(std::count(list.out.begin(), list.out.end(), '\n')), LanguageSets().size());
    for (const char* tag : {"en", "de", "fr", "es", "it", "pt-BR", "nl", "pl", "ru", "ja", "zh-CN"})
        EXPECT_NE(list.out.find(std::string(tag) + "\t"), std::string::npos) << tag;
    for (const LanguageSet& set : LanguageSets()) {
        SCOPED_TRACE(set.tag);
        EXPECT_EQ(FindLanguage(set.tag, nullptr), &set);
        Write("m.json", std::string(R"({"language": ")") + set.tag + R"(", "product": "50% Notes"})");
        Run v = Verify("m.json");
        EXPECT_EQ(v.rc, 0) << v.out << v.err;
        EXPECT_NE(v.out.find("no problems found"), std::string::npos) << v.out;
        UninstallData d = ParseManifest(std::string(R"({"language": ")") + set.tag + R"(", "product": "50% Notes"})");
        ASSERT_EQ(d.messages.size(), 16u);
        EXPECT_NE(d.messages[0].find(u"50% Notes"), std::u16string::npos);
        for (size_t n = 0; n < 16; ++n) {
            EXPECT_FALSE(d.messages[n].empty()) << n;
            EXPECT_EQ(d.messages[n].find(u"{product}"), std::u16string::npos) << n;
            size_t percents = std::count(d.messages[n].begin(), d.messages[n].end(), u'%');
            size_t ownPercents = d.messages[n].find(u"50% Notes") == std::u16string::npos ? 0 : 1;
            bool formatted = n >= 7 && n <= 10;
            EXPECT_EQ(percents - ownPercents, formatted ? 1u : 0u) << n;
            if (formatted) {
                EXPECT_EQ(ownPercents, 0u) << n << ": a product's % would be read as a format";
                EXPECT_NE(d.messages[n].find(u"%s"), std::u16string::npos) << n;
            }
        }
    }
    EXPECT_EQ(FindLanguage("DE_at", nullptr), FindLanguage("de", nullptr));
    EXPECT_EQ(FindLanguage("pt-PT", nullptr), nullptr);
}

}  // namespace
