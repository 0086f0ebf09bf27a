// Command line of `uninstpack`, the authoring tool for installer authors: build an uninstaller
// from a manifest, inspect one, verify one (or a manifest) before it ships, harvest a staged
// folder's records, list the languages of the default texts. Nothing thrown gets past main: a
// failure is a message and exit code 2, never an abort.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#endif

#include "tools/uninstpack/cli.h"

#ifdef _WIN32
// The values of --define as UTF-8, taken from the wide command line: argv holds them in the ANSI
// code page, which lacks letters a user's folder name may hold, and a manifest's texts are UTF-8.
// The other arguments, file names among them, stay as the C library's file calls want them.
static void DefinesAsUtf8(std::vector<std::string>& args) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return;
    for (size_t i = 1; i < args.size() && static_cast<int>(args.size()) == count; ++i) {
        bool inlineValue = args[i].compare(0, 9, "--define=") == 0;
        if (!inlineValue && args[i - 1] != "--define") continue;
        int cb = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(cb > 0 ? cb - 1 : 0, '\0');
        if (cb > 1) ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &utf8[0], cb, nullptr, nullptr);
        args[i] = utf8;
    }
    ::LocalFree(wide);
}
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Uninstallers and stubs pass through "-" as bytes; text mode would change them.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    try {
        std::vector<std::string> args(argv, argv + argc);
#ifdef _WIN32
        DefinesAsUtf8(args);
#endif
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
