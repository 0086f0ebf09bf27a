// `--define NAME=VALUE`: what only the installation knows (the Start-menu folder the user chose,
// the version), put into every text of a manifest as "${NAME}" before anything reads it.
#pragma once
#include <string>
#include <vector>

#include "tools/uninstpack/manifest.h"

namespace uninstpack {

struct Define {
    std::string name, value;
};

// "NAME=VALUE" as the option gives it; false, with the reason in *why, when it is not one.
bool ParseDefine(const std::string& option, std::vector<Define>& defines, std::string* why);

// Replaces "${NAME}" in every text of the manifest by the defined value ("$${" is a literal
// "${"; a value is put in as it stands, never read again). Throws ManifestError naming the field
// for a name that is not defined or a "${" that is never closed. Returns the names not used.
std::vector<std::string> ApplyDefines(Json& manifest, const std::vector<Define>& defines);

}  // namespace uninstpack
