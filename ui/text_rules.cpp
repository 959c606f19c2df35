#include "ui/text_rules.h"

#include <climits>

namespace kv::ui {

char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c + 0x20;
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return c + 0x20;
    if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return c + 0x20;
    if (c >= 0x0410 && c <= 0x042F) return c + 0x20;
    if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
    return c;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

int FindEntryIgnoringCase(const std::vector<std::u16string>& entries, std::u16string_view text) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (EqualIgnoringCase(entries[i], text)) return static_cast<int>(i);
    return -1;
}

std::vector<std::u16string> SplitCells(std::u16string_view row) {
    std::vector<std::u16string> cells;
    size_t start = 0;
    for (;;) {
        const size_t end = row.find(u'\n', start);
        if (end == std::u16string_view::npos) {
            cells.emplace_back(row.substr(start));
            return cells;
        }
        cells.emplace_back(row.substr(start, end - start));
        start = end + 1;
    }
}

std::optional<int> ParseInteger(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    size_t end = text.size();
    while (end > i && text[end - 1] == u' ') --end;
    bool negative = false;
    if (i < end && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    if (i == end) return std::nullopt;
    long long value = 0;
    for (; i < end; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
        value = value * 10 + (text[i] - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return std::nullopt;
    return static_cast<int>(value);
}

std::u16string DecimalText(int value) {
    const std::string narrow = std::to_string(value);
    return std::u16string(narrow.begin(), narrow.end());
}

}  // namespace kv::ui
