// One line of the event log, as the log writes it and the chart reads it back:
//   [06/12/2026 15:51:09]  28-0000045A1B2C-84  —  23.6 °C
// (UTF-8 in the file). The writer and the reader take the stamp, the ROM code's form, the
// separator and the unit from here, so that what one writes the other reads.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "onewire/search.h"
#include "runtime/date_text.h"

namespace kv {

// The stamp every line begins with, local wall-clock time: "[06/12/2026 15:51:09]  ".
std::u16string LogStampText(DateValue when);

// The text of a reading record: ROM code, a dash between blanks, the temperature.
std::u16string LogReadingText(const std::u16string& romText, float celsius);

enum class LogLineKind {
    Reading,
    Empty,      // an empty record (the log writes one for an empty text)
    Malformed,  // not a reading record, or one cut off or run together with another
    Unsound,    // a record, but of a corrupt ROM code or a temperature outside −55…127 °C
};

struct LogRecord {
    int64_t localSeconds = 0;  // the local wall clock of the stamp, as calendar seconds
    RomCode rom{};
    float celsius = 0;
};

// One line of the log, UTF-8, without its line end.
LogLineKind ParseLogLine(std::string_view line, LogRecord& record);

}  // namespace kv
