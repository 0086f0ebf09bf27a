// Command line of `uninstpack`, the authoring tool for installer authors: build an uninstaller
// from a manifest, inspect one, verify one (or a manifest) before it ships.
#include <CLI/CLI.hpp>

#include <iostream>

#include "tools/uninstpack/commands.h"

int main(int argc, char** argv) {
    CLI::App app{"uninstpack: writes, shows and checks the uninstall data of an uninstaller"};
    app.require_subcommand(1);

    std::string manifest, stub, output, input;
    bool json = false;
    CLI::App* build = app.add_subcommand("build", "write an uninstaller from a JSON manifest and the program part");
    build->add_option("manifest", manifest, "the JSON manifest")->required();
    build->add_option("--stub", stub, "the bare program part (uninst.exe)")->required();
    build->add_option("-o,--output", output, "the uninstaller to write")->required();

    CLI::App* inspect = app.add_subcommand("inspect", "show the locator, chunks and records of an uninstaller");
    inspect->add_option("file", input, "the uninstaller")->required();
    inspect->add_flag("--json", json, "print a manifest that build turns back into the same data");

    CLI::App* verify = app.add_subcommand(
        "verify", "check an uninstaller or a manifest; exit 0 when clean, 1 with problems, 2 when unusable");
    verify->add_option("file", input, "the uninstaller or the JSON manifest")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return uninstpack::kExitUnusable;
    }
    if (*build) return uninstpack::RunBuild(manifest, stub, output, std::cout, std::cerr);
    if (*inspect) return uninstpack::RunInspect(input, json, std::cout, std::cerr);
    return uninstpack::RunVerify(input, std::cout, std::cerr);
}
