// The event log: one timestamped UTF-8 line per reading, appended to a file beside the
// program that stays open for the rest of the run (file number 0).
#pragma once
#include <string>
#include <string_view>

namespace kv {

inline constexpr int LogFileNumber = 0;

// A record is written whole or not at all. One that cannot be written (the folder is not
// writable, the disk is full) is dropped and a note on the status line says so until a
// record is written again; the next call tries to open the file again. A log file that was
// deleted or renamed while open is started anew under its name at the next record.
void WriteLog(std::u16string_view text);

// Logging was switched off: the note of a failed write goes, as nothing is written anymore.
void WriteLogStopped();

}  // namespace kv
