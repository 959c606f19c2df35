#include "runtime/utf.h"

#include <cstdint>

namespace kv {
namespace {

constexpr char32_t Replacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    }
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Bytes that are not UTF-8 travel inside UTF-16 as these lone low surrogates, one per byte.
constexpr char16_t EscapeBase = 0xDC00;
bool isEscapedByte(char16_t c) {
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF;
}

// Converts UTF-16 to UTF-8; a lone surrogate becomes U+FFFD unless `keepEscapes` lets an
// escaped byte out as itself.
std::string toUtf8(std::u16string_view text, bool keepEscapes) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else {
                c = Replacement;
            }
        } else if (keepEscapes && isEscapedByte(text[i])) {
            out.push_back(static_cast<char>(c - EscapeBase));
            continue;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = Replacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

// Converts UTF-8 to UTF-16; each byte that starts no valid sequence becomes `badByte(byte)`.
template <typename BadByte>
std::u16string toUtf16(std::string_view text, BadByte badByte) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1, cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, cp = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, cp = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, cp = lead & 0x07, minimum = 0x10000;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if (!isContinuation(c)) valid = false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (valid && length > 1 &&
            (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            out.push_back(badByte(lead));
            ++i;
            continue;
        }
        appendUtf16(out, cp);
        i += length;
    }
    return out;
}

}  // namespace

std::string Utf8FromUtf16(std::u16string_view text) {
    return toUtf8(text, false);
}

std::u16string Utf16FromUtf8(std::string_view text) {
    return toUtf16(text, [](unsigned char) { return static_cast<char16_t>(Replacement); });
}

std::u16string Utf16FromPathBytes(std::string_view bytes) {
    // Only bytes 0x80-0xFF can be bad: ASCII always decodes.
    return toUtf16(bytes,
                   [](unsigned char byte) { return static_cast<char16_t>(EscapeBase + byte); });
}

std::string PathBytesFromUtf16(std::u16string_view path) {
    return toUtf8(path, true);
}

}  // namespace kv
