// UTF-8 / UTF-16 conversion for the authoring tool, strict in both directions: a text that
// does not convert is reported rather than silently altered, since paths name what gets deleted.
#include "tools/uninstpack/text.h"

#include <cstdio>

namespace uninstpack {

std::optional<std::u16string> Utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    size_t i = 0, n = utf8.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        size_t extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else return std::nullopt;
        if (n - i - 1 < extra) return std::nullopt;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(utf8[i + k]);
            if ((d & 0xC0) != 0x80) return std::nullopt;
            cp = cp << 6 | (d & 0x3F);
        }
        static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

namespace {

void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Code point at text[i], advancing i; nullopt (i advanced by one) for an unpaired surrogate.
std::optional<uint32_t> NextCodePoint(const std::u16string& text, size_t& i) {
    char16_t u = text[i++];
    if (u < 0xD800 || u > 0xDFFF) return u;
    if (u <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
        return 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (uint32_t(text[i++]) - 0xDC00);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        std::optional<uint32_t> cp = NextCodePoint(text, i);
        if (!cp) return std::nullopt;
        PutUtf8(out, *cp);
    }
    return out;
}

std::string Plain(const std::u16string& text) {
    std::optional<std::string> utf8 = Utf16ToUtf8(text);
    return utf8 ? *utf8 : Printable(text);
}

std::string Printable(const std::u16string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        size_t at = i;
        std::optional<uint32_t> cp = NextCodePoint(text, i);
        if (!cp || *cp < 0x20 || *cp == 0x7F || *cp == '"') {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(cp ? *cp : text[at]));
            out += (cp && *cp == '"') ? std::string("\\\"") : std::string(buf);
        } else {
            PutUtf8(out, *cp);
        }
    }
    return out + "\"";
}

}  // namespace uninstpack
