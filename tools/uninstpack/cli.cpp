// Hand-written parsing: a few subcommands and a handful of options do not need a parser's
// messages, and each mistake should name the command and show its usage line. Each command
// carries its options in the table below, so the parser is one loop that knows no command.
#include "tools/uninstpack/cli.h"

#include "tools/uninstpack/commands.h"
#include "tools/uninstpack/harvest.h"

namespace uninstpack {

const char kVersion[] = "1.1";

namespace {

// What the command line asks for, as the options' setters fill it in.
struct Request {
    Options options;  // build, inspect, verify
    HarvestOptions harvest;
    std::string stub, output;  // build
    std::vector<std::string> operands;
};

// What an option sets in the request.
enum class Sets { Stub, Output, Define, Strict, Force, Json, InstallDir, Flag, Exclude, Merge };

// One option of a command. `value` names what it takes, as a missing value's mistake says it
// ("a file name"); null for a switch.
struct Option {
    const char* name;
    const char* value;
    Sets sets;
};

const Option kStub = {"--stub", "a file name", Sets::Stub}, kOutputShort = {"-o", "a file name", Sets::Output},
             kOutput = {"--output", "a file name", Sets::Output}, kDefine = {"--define", "NAME=VALUE", Sets::Define},
             kStrict = {"--strict", nullptr, Sets::Strict}, kForce = {"--force", nullptr, Sets::Force},
             kJson = {"--json", nullptr, Sets::Json}, kInstallDir = {"--install-dir", "a path", Sets::InstallDir},
             kFlag = {"--flag", "NAME=PATTERN", Sets::Flag}, kExclude = {"--exclude", "a PATTERN", Sets::Exclude},
             kMerge = {"--merge", "a file name", Sets::Merge};

// False, with the reason in *why, for a value the option refuses.
bool Apply(Request& r, Sets what, const std::string& value, std::string* why) {
    switch (what) {
    case Sets::Stub: r.stub = value; break;
    case Sets::Output: r.output = r.harvest.output = value; break;  // build's output or harvest's
    case Sets::Define: return ParseDefine(value, r.options.defines, why);
    case Sets::Strict: r.options.strict = true; break;
    case Sets::Force: r.options.force = r.harvest.force = true; break;
    case Sets::Json: r.options.json = true; break;
    case Sets::InstallDir: r.harvest.installDir = value; break;
    case Sets::Flag: r.harvest.flags.push_back(value); break;
    case Sets::Exclude: r.harvest.excludes.push_back(value); break;
    case Sets::Merge: r.harvest.merge = value; break;
    }
    return true;
}

struct Command;
using Runner = int (*)(const Command&, Request&, std::ostream& out, std::ostream& err);

struct Command {
    const char* name;
    // The one operand the command takes, as its mistakes name it; null when `run` looks at the
    // operands itself.
    const char* operand;
    std::vector<Option> options;
    Runner run;
    const char* usage;
    const char* help;
};

int Mistake(const Command& c, const std::string& what, std::ostream& err) {
    err << "uninstpack " << c.name << ": " << what << "\nusage: " << c.usage << "\n";
    return kExitUnusable;
}

int Build(const Command& c, Request& r, std::ostream& out, std::ostream& err) {
    if (r.stub.empty()) return Mistake(c, "--stub STUB is missing (the bare program part, uninst.exe)", err);
    if (r.output.empty()) return Mistake(c, "-o OUTPUT is missing (the uninstaller to write)", err);
    return RunBuild(r.operands[0], r.stub, r.output, out, err, r.options);
}

int Inspect(const Command&, Request& r, std::ostream& out, std::ostream& err) {
    return RunInspect(r.operands[0], r.options.json, out, err, r.options);
}

int Verify(const Command&, Request& r, std::ostream& out, std::ostream& err) {
    return RunVerify(r.operands[0], out, err, r.options);
}

int Harvest(const Command& c, Request& r, std::ostream& out, std::ostream& err) {
    r.harvest.dir = r.operands[0];
    if (r.harvest.installDir.empty())
        return Mistake(c, "--install-dir PATH is missing (where the tree will stand, or \".\")", err);
    return RunHarvest(r.harvest, out, err);
}

int Languages(const Command& c, Request& r, std::ostream& out, std::ostream& err) {
    if (!r.operands.empty()) return Mistake(c, "takes no operand, not \"" + r.operands[0] + "\"", err);
    return RunLanguages(out);
}

int Help(const Command& c, Request& r, std::ostream& out, std::ostream& err);

const Command kCommands[] = {
    {"build", "MANIFEST", {kStub, kOutputShort, kOutput, kDefine, kStrict, kForce}, Build,
     "uninstpack build MANIFEST --stub STUB -o OUTPUT [--define NAME=VALUE]... [--strict] [--force]",
     "Writes OUTPUT: the program part STUB followed by the uninstall data of the JSON MANIFEST, sealed\n"
     "with a CRC-32. Refuses (exit 2) records no author means: folders that are drive roots or system\n"
     "folders in any spelling, files that ship with Windows, registry keys and values Windows owns,\n"
     "paths the uninstaller would read otherwise than written. Every mistake is named in one run.\n"
     "Prints the other findings of verify as warnings; with --strict they fail (exit 1) and nothing is\n"
     "written. The output may not be an input, a folder or a device; a read-only one needs --force.\n"
     "MANIFEST \"-\" reads standard input; OUTPUT \"-\" writes standard output. Sign OUTPUT after build.\n"
     "--define NAME=VALUE puts VALUE for every \"${NAME}\" in the manifest's texts before anything else\n"
     "(\"$${\" is a literal \"${\"); an undefined NAME is an error. A path field may begin with a folder\n"
     "macro (#Programs#, #AppData#, ...), which the uninstaller expands on the machine it runs on.\n"},
    {"inspect", "FILE", {kJson}, Inspect, "uninstpack inspect FILE [--json]",
     "Shows the locator, the signature, every chunk and every record of an uninstaller; --json prints\n"
     "a manifest that build turns into the same data. FILE \"-\" reads standard input.\n"},
    {"verify", "FILE", {kDefine, kStrict, kJson}, Verify,
     "uninstpack verify FILE [--define NAME=VALUE]... [--strict] [--json]",
     "Checks an uninstaller or a manifest: exit 0 when clean or only warnings, 1 with errors (or\n"
     "warnings under --strict), 2 when unusable. --json prints the findings as JSON. FILE \"-\" reads\n"
     "standard input. --define fills a manifest's \"${NAME}\" as for build.\n"},
    {"harvest", "DIR", {kInstallDir, kOutputShort, kOutput, kFlag, kExclude, kMerge, kForce}, Harvest,
     "uninstpack harvest DIR --install-dir PATH [-o FILE] [--flag NAME=PATTERN]... [--exclude PATTERN]... "
     "[--merge MANIFEST] [--force]",
     "Writes the file and folder records of the staged folder DIR as its tree will stand below PATH (a\n"
     "full path, or \".\" for the uninstaller's own folder): PATH's record first, then in each folder\n"
     "its files, then each subfolder's record and what it holds, by name. Symbolic links are recorded,\n"
     "not followed. --flag in-use=*.exe sets a flag (shared, font, com, in-use) on files whose name\n"
     "matches; a pattern with \"/\" matches the path below DIR (bin/*.dll). --exclude PATTERN leaves\n"
     "out the files and folders (with all they hold) that match, by the same rules. --merge puts\n"
     "the records in front of those of a hand-written MANIFEST and keeps the rest of it; its own\n"
     "record for a harvested path replaces the harvested one in place. Writes standard output unless\n"
     "-o FILE, which is refused as the build's output is; a read-only one needs --force. Every name\n"
     "and record refused is named in one run.\n"},
    {"languages", nullptr, {}, Languages, "uninstpack languages",
     "Lists the languages of the default texts, one per line: the tag a manifest's \"language\" names,\n"
     "then the language's name. With \"language\" and \"product\", every message a manifest leaves\n"
     "out is taken from that set.\n"},
    {"help", nullptr, {}, Help, "uninstpack help [COMMAND]", "Shows the commands, or how to use one of them.\n"},
};

const Command* FindCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

const Option* FindOption(const Command& c, const std::string& name) {
    for (const Option& o : c.options)
        if (name == o.name) return &o;
    return nullptr;
}

std::string CommandList() {
    std::string list;
    for (const Command& c : kCommands) list += (list.empty() ? "" : ", ") + std::string(c.name);
    return list;
}

void Overview(std::ostream& out) {
    out << "uninstpack " << kVersion << ": writes, shows and checks the uninstall data of an uninstaller\n\nusage:\n";
    for (const Command& c : kCommands) out << "  " << c.usage << "\n";
    out << "  uninstpack --version\n\nRun \"uninstpack help COMMAND\" for one command.\n";
}

int Help(const Command&, Request& r, std::ostream& out, std::ostream& err) {
    if (r.operands.empty()) {
        Overview(out);
        return kExitClean;
    }
    const Command* about = FindCommand(r.operands[0]);
    if (!about || r.operands.size() > 1) {
        err << "uninstpack help: unknown command \"" << r.operands[0] << "\" (commands: " << CommandList() << ")\n";
        return kExitUnusable;
    }
    out << "usage: " << about->usage << "\n\n" << about->help;
    return kExitClean;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    if (args.size() < 2) {
        err << "uninstpack: no command given (commands: " << CommandList() << ")\n";
        return kExitUnusable;
    }
    const std::string& first = args[1];
    if (first == "--version") {
        out << "uninstpack " << kVersion << "\n";
        return kExitClean;
    }
    if (first == "--help" || first == "-h") {
        Overview(out);
        return kExitClean;
    }
    const Command* command = FindCommand(first);
    if (!command) {
        err << "uninstpack: unknown command \"" << first << "\" (commands: " << CommandList() << ")\n";
        return kExitUnusable;
    }

    Request request;
    request.options.input = &in;
    bool optionsEnd = false;
    for (size_t i = 2; i < args.size(); ++i) {
        std::string a = args[i];
        if (optionsEnd || a == "-" || a.empty() || a[0] != '-') {
            request.operands.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            out << "usage: " << command->usage << "\n\n" << command->help;
            return kExitClean;
        }
        std::string value;
        bool inlineValue = false;
        size_t eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
            inlineValue = true;
        }
        const Option* option = FindOption(*command, a);
        if (inlineValue && !(option && option->value)) return Mistake(*command, a + " takes no value", err);
        if (!option) return Mistake(*command, "unknown option \"" + a + "\"", err);
        if (option->value && !inlineValue) {
            if (i + 1 >= args.size()) return Mistake(*command, a + " needs " + option->value, err);
            value = args[++i];
        }
        std::string why;
        if (!Apply(request, option->sets, value, &why)) return Mistake(*command, why, err);
    }

    if (command->operand) {
        const std::string operand = command->operand;
        if (request.operands.empty()) return Mistake(*command, operand + " is missing", err);
        if (request.operands.size() > 1)
            return Mistake(*command, "one " + operand + " only, not also \"" + request.operands[1] + "\"", err);
    }
    return command->run(*command, request, out, err);
}

}  // namespace uninstpack
