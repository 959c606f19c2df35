#include "ui/text_rules.h"

#include "runtime/letter_case.h"

namespace kv::ui {

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

}  // namespace kv::ui
