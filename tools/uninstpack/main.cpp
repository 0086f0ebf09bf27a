// Command line of `uninstpack`, the authoring tool for installer authors: build an uninstaller
// from a manifest, inspect one, verify one (or a manifest) before it ships. Nothing thrown gets
// past main: a failure is a message and exit code 2, never an abort.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "tools/uninstpack/cli.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    // Uninstallers and stubs pass through "-" as bytes; text mode would change them.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    try {
        std::vector<std::string> args(argv, argv + argc);
        int rc = uninstpack::RunCommandLine(args, std::cin, std::cout, std::cerr);
        std::cout.flush();
        if (!std::cout) {
            std::cerr << "uninstpack: -: cannot write standard output\n";
            return 2;
        }
        return rc;
    } catch (const std::exception& e) {
        std::cerr << "uninstpack: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "uninstpack: unexpected failure\n";
    }
    return 2;
}
