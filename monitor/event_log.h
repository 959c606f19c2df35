// The event log: one timestamped UTF-8 line per reading, appended to a file beside the
// program that stays open for the rest of the run (file number 0).
#pragma once
#include <string>
#include <string_view>

namespace kv {

inline constexpr int LogFileNumber = 0;

// Never reports a failure: a record that cannot be written is dropped, and the next call
// tries to open the file again.
void WriteLog(std::u16string_view text);

// The text of a reading record: ROM code, a dash between blanks, the temperature.
std::u16string LogReadingText(const std::u16string& romText, float celsius);

}  // namespace kv
