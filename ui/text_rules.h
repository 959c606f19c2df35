// Text rules both implementations follow, so that the program sees the same behaviour
// whatever draws the window.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::ui {

// Letter case is ignored for the Latin, Latin-1, Greek and Cyrillic alphabets, which is what
// port names and the program's own texts use.
char16_t FoldCase(char16_t c);
bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b);
// Index of the first entry equal to `text` ignoring case, or -1.
int FindEntryIgnoringCase(const std::vector<std::u16string>& entries, std::u16string_view text);
// A table row is one text with the cells separated by line feeds.
std::vector<std::u16string> SplitCells(std::u16string_view row);
// Plain decimal integer with an optional sign and surrounding spaces; nothing else.
std::optional<int> ParseInteger(std::u16string_view text);
std::u16string DecimalText(int value);

}  // namespace kv::ui
