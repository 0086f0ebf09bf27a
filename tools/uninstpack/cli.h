// The command line of `uninstpack`: subcommands, their options and help, with the program's own
// messages (never a parser's), so a script and a person both learn what to type instead.
#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace uninstpack {

extern const char kVersion[];

// args[0] is the program's path (only its name is ever shown). Returns the exit code.
int RunCommandLine(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace uninstpack
