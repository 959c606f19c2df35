// Letter case, ignored where the program compares names: port names, list entries, the keys
// of the settings file. Depends on nothing else in the program, so that the window toolkit
// may use it too.
#pragma once
#include <string_view>

namespace kv {

// The lower-case letter for the Latin, Latin-1, Greek and Cyrillic alphabets, which is what
// port names and the program's own texts use; any other character as it is.
char16_t FoldCase(char16_t c);
bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b);

// For UTF-8 bytes: only A-Z fold, every other byte (those of a multi-byte character
// included) must match exactly, so that a match never changes a text's length.
char FoldAsciiCase(char c);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace kv
