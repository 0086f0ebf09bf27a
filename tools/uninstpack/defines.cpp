// `--define`: "${NAME}" in the texts of a manifest, replaced before the manifest is read.
#include "tools/uninstpack/defines.h"

#include <set>

namespace uninstpack {

namespace {

std::string Substitute(const std::string& text, const std::string& where, const std::vector<Define>& defines,
                       std::set<std::string>& used) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "$${") == 0) {
            out += "${";
            i += 2;
            continue;
        }
        if (text.compare(i, 2, "${") != 0) {
            out += text[i];
            continue;
        }
        size_t close = text.find('}', i + 2);
        if (close == std::string::npos)
            throw ManifestError(where + ": \"${\" is never closed by \"}\"; write \"$${\" for a literal \"${\"");
        std::string name = text.substr(i + 2, close - i - 2);
        const Define* found = nullptr;
        for (const Define& d : defines)
            if (d.name == name) found = &d;
        if (!found)
            throw ManifestError(where + ": ${" + name + "} is not defined; give --define " + name +
                                "=VALUE (or write \"$${\" for a literal \"${\")");
        out += found->value;
        used.insert(name);
        i = close;
    }
    return out;
}

void Walk(Json& value, const std::string& where, const std::vector<Define>& defines, std::set<std::string>& used) {
    if (value.is_string()) {
        value = Substitute(value.get<std::string>(), where, defines, used);
    } else if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it)
            Walk(it.value(), where.empty() ? it.key() : where + "." + it.key(), defines, used);
    } else if (value.is_array()) {
        for (size_t i = 0; i < value.size(); ++i) Walk(value[i], where + "[" + std::to_string(i) + "]", defines, used);
    }
}

}  // namespace

bool ParseDefine(const std::string& option, std::vector<Define>& defines, std::string* why) {
    size_t eq = option.find('=');
    std::string name = option.substr(0, eq);
    if (eq == std::string::npos || name.empty() || name.find_first_of("${}") != std::string::npos) {
        *why = "--define needs NAME=VALUE, a NAME without \"$\", \"{\" or \"}\", not \"" + option + "\"";
        return false;
    }
    for (const Define& d : defines)
        if (d.name == name) {
            *why = "--define " + name + " is given twice";
            return false;
        }
    defines.push_back({name, option.substr(eq + 1)});
    return true;
}

std::vector<std::string> ApplyDefines(Json& manifest, const std::vector<Define>& defines) {
    std::set<std::string> used;
    Walk(manifest, "", defines, used);
    std::vector<std::string> unused;
    for (const Define& d : defines)
        if (!used.count(d.name)) unused.push_back(d.name);
    return unused;
}

}  // namespace uninstpack
