// The tool's own message texts, one set of sixteen per language, for manifests that name a
// "language" and a "product" and leave some or all messages out.
#pragma once
#include <string>
#include <vector>

#include "src/data/data_format.h"

namespace uninstpack {

struct LanguageSet {
    const char* tag;   // as a manifest names it: "de", "pt-BR"
    const char* name;  // the language's own name, then the English one
    // UTF-8; "{product}" stands for the product's name. Messages kFirstPathMessage to
    // kLastPathMessage hold one "%s" for the path the uninstaller puts in, and never the product's
    // name, whose "%" would be read there.
    const char* texts[kMessageCount];
};

const std::vector<LanguageSet>& LanguageSets();

// The set for `tag`, compared without regard to case and with "_" read as "-"; a tag with a
// region the tool has no set for ("de-AT") takes the set of its language ("de") when there is
// one. Null when there is none; `advice` then says what to write instead.
const LanguageSet* FindLanguage(const std::string& tag, std::string* advice);

// The set's sixteen texts with the product's name put in.
std::vector<std::u16string> DefaultMessages(const LanguageSet& set, const std::u16string& product);

}  // namespace uninstpack
