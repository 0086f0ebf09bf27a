// Text conversions of the authoring tool: UTF-8 (manifests, the terminal) to and from the
// UTF-16 of the uninstall data, and a printable form of any UTF-16 text for reports.
#pragma once
#include <optional>
#include <string>

namespace uninstpack {

// Nullopt when utf8 is not well-formed UTF-8 (or encodes a surrogate).
std::optional<std::u16string> Utf8ToUtf16(const std::string& utf8);
// Nullopt when text holds an unpaired surrogate, which UTF-8 cannot carry.
std::optional<std::string> Utf16ToUtf8(const std::u16string& text);
// Always succeeds: quoted, with control characters, backslashes shown as they are, and
// unpaired surrogates written as \uXXXX, so a damaged text can still be shown.
std::string Printable(const std::u16string& text);
// The text as UTF-8, or Printable when it holds an unpaired surrogate.
std::string Plain(const std::u16string& text);

}  // namespace uninstpack
