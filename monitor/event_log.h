// The event log: one timestamped UTF-8 line per reading, appended to a file beside the
// program that stays open for the rest of the run (file number 0).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

inline constexpr int LogFileNumber = 0;
// Records that cannot be written wait, at most this many (hours of readings).
inline constexpr size_t LogWaitingLimit = 10'000;

// A record is written whole or not at all. One that cannot be written (the folder is not
// writable, the disk is full) waits, with its time, and goes before the next record; a note
// on the status line says so meanwhile. Of more than LogWaitingLimit waiting the oldest are
// lost; once the log is written again the note says how many, until logging is switched
// off. Each call tries to open the file again. A log file that was deleted or renamed while
// open is started anew under its name at the next record.
void WriteLog(std::u16string_view text);

// Logging was switched off: what waits is dropped and the note goes, as nothing is written
// anymore.
void WriteLogStopped();

}  // namespace kv
