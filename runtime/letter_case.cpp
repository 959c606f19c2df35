#include "runtime/letter_case.h"

#include <algorithm>

namespace kv {
namespace {

// The distance from an upper-case letter to its lower-case one in ASCII, Latin-1, Greek
// and the basic Cyrillic block; the Cyrillic letters with marks (Ѐ..Џ) lie further apart.
constexpr char16_t CaseDistance = 0x20;
constexpr char16_t CyrillicMarkedDistance = 0x50;

}  // namespace

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return static_cast<unsigned char>(FoldAsciiCase(static_cast<char>(c)));
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return c + CaseDistance;  // not ×
    if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return c + CaseDistance;  // no capital ς
    if (c >= 0x0410 && c <= 0x042F) return c + CaseDistance;
    if (c >= 0x0400 && c <= 0x040F) return c + CyrillicMarkedDistance;
    return c;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return std::ranges::equal(a, b, {}, FoldCase, FoldCase);
}

char FoldAsciiCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + CaseDistance) : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, FoldAsciiCase, FoldAsciiCase);
}

}  // namespace kv
