// Hand-written parsing: seven subcommands and a handful of options do not need a parser's
// messages, and each mistake should name the command and show its usage line.
#include "tools/uninstpack/cli.h"

#include "tools/uninstpack/commands.h"
#include "tools/uninstpack/harvest.h"

namespace uninstpack {

const char kVersion[] = "1.1";

namespace {

struct Command {
    const char* name;
    const char* usage;
    const char* help;
};

const Command kCommands[] = {
    {"build", "uninstpack build MANIFEST --stub STUB -o OUTPUT [--define NAME=VALUE]... [--strict] [--force]",
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
    {"inspect", "uninstpack inspect FILE [--json]",
     "Shows the locator, the signature, every chunk and every record of an uninstaller; --json prints\n"
     "a manifest that build turns into the same data. FILE \"-\" reads standard input.\n"},
    {"verify", "uninstpack verify FILE [--define NAME=VALUE]... [--strict] [--json]",
     "Checks an uninstaller or a manifest: exit 0 when clean or only warnings, 1 with errors (or\n"
     "warnings under --strict), 2 when unusable. --json prints the findings as JSON. FILE \"-\" reads\n"
     "standard input. --define fills a manifest's \"${NAME}\" as for build.\n"},
    {"harvest",
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
    {"languages", "uninstpack languages",
     "Lists the languages of the default texts, one per line: the tag a manifest's \"language\" names,\n"
     "then the language's name. With \"language\" and \"product\", every message a manifest leaves\n"
     "out is taken from that set.\n"},
    {"help", "uninstpack help [COMMAND]", "Shows the commands, or how to use one of them.\n"},
};

const Command* FindCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
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

int Mistake(const Command& c, const std::string& what, std::ostream& err) {
    err << "uninstpack " << c.name << ": " << what << "\nusage: " << c.usage << "\n";
    return kExitUnusable;
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
    const std::string name = command->name;

    Options options;
    options.input = &in;
    bool json = false;
    std::string stub, output;
    HarvestOptions harvest;
    std::vector<std::string> positional;
    bool optionsEnd = false;
    for (size_t i = 2; i < args.size(); ++i) {
        std::string a = args[i];
        if (optionsEnd || a == "-" || a.empty() || a[0] != '-') {
            positional.push_back(a);
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
        bool takesValue = (name == "build" && (a == "--stub" || a == "-o" || a == "--output")) ||
                          ((name == "build" || name == "verify") && a == "--define") ||
                          (name == "harvest" && (a == "--install-dir" || a == "-o" || a == "--output" ||
                                                 a == "--flag" || a == "--exclude" || a == "--merge"));
        if (takesValue) {
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    return Mistake(*command, a + (a == "--flag"          ? " needs NAME=PATTERN"
                                                  : a == "--exclude"     ? " needs a PATTERN"
                                                  : a == "--define"      ? " needs NAME=VALUE"
                                                  : a == "--install-dir" ? " needs a path"
                                                                         : " needs a file name"),
                                   err);
                value = args[++i];
            }
            std::string why;
            if (a == "--define" && !ParseDefine(value, options.defines, &why)) return Mistake(*command, why, err);
            if (a == "--define") continue;
            if (a == "--stub") stub = value;
            else if (a == "-o" || a == "--output") output = harvest.output = value;
            else if (a == "--install-dir") harvest.installDir = value;
            else if (a == "--merge") harvest.merge = value;
            else if (a == "--exclude") harvest.excludes.push_back(value);
            else harvest.flags.push_back(value);
            continue;
        }
        if (inlineValue) return Mistake(*command, a + " takes no value", err);
        if (a == "--strict" && (name == "build" || name == "verify")) options.strict = true;
        else if (a == "--force" && name == "build") options.force = true;
        else if (a == "--force" && name == "harvest") harvest.force = true;
        else if (a == "--json" && (name == "inspect" || name == "verify")) json = true;
        else return Mistake(*command, "unknown option \"" + a + "\"", err);
    }

    if (name == "help") {
        if (positional.empty()) {
            Overview(out);
            return kExitClean;
        }
        const Command* about = FindCommand(positional[0]);
        if (!about || positional.size() > 1) {
            err << "uninstpack help: unknown command \"" << positional[0] << "\" (commands: " << CommandList() << ")\n";
            return kExitUnusable;
        }
        out << "usage: " << about->usage << "\n\n" << about->help;
        return kExitClean;
    }
    if (name == "languages") {
        if (!positional.empty()) return Mistake(*command, "takes no operand, not \"" + positional[0] + "\"", err);
        return RunLanguages(out);
    }
    const char* operand = name == "build" ? "MANIFEST" : name == "harvest" ? "DIR" : "FILE";
    if (positional.empty()) return Mistake(*command, std::string(operand) + " is missing", err);
    if (positional.size() > 1) return Mistake(*command, "one " + std::string(operand) + " only, not also \"" + positional[1] + "\"", err);
    if (name == "build") {
        if (stub.empty()) return Mistake(*command, "--stub STUB is missing (the bare program part, uninst.exe)", err);
        if (output.empty()) return Mistake(*command, "-o OUTPUT is missing (the uninstaller to write)", err);
        return RunBuild(positional[0], stub, output, out, err, options);
    }
    if (name == "harvest") {
        harvest.dir = positional[0];
        if (harvest.installDir.empty())
            return Mistake(*command, "--install-dir PATH is missing (where the tree will stand, or \".\")", err);
        return RunHarvest(harvest, out, err);
    }
    if (name == "inspect") return RunInspect(positional[0], json, out, err, options);
    options.json = json;
    return RunVerify(positional[0], out, err, options);
}

}  // namespace uninstpack
