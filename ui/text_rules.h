// Text rules both implementations follow, so that the program sees the same behaviour
// whatever draws the window.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kv::ui {

// Index of the first entry equal to `text` ignoring case (runtime/letter_case.h), or -1.
int FindEntryIgnoringCase(const std::vector<std::u16string>& entries, std::u16string_view text);
// A table row is one text with the cells separated by line feeds.
std::vector<std::u16string> SplitCells(std::u16string_view row);

}  // namespace kv::ui
