#include "monitor/event_log.h"

#include <atomic>
#include <deque>
#include <mutex>

#include "monitor/log_line.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "runtime/date_text.h"
#include "runtime/integer_text.h"
#include "runtime/number_text.h"
#include "runtime/text_file.h"

namespace kv {
namespace {

// Records that could not be written yet, oldest first, each with its own time. The worker
// writes them; switching logging off (the window thread) drops them.
std::mutex waitingLock;
std::deque<std::u16string> waiting;
std::atomic<bool> failing{false};
std::atomic<int64_t> lost{0};  // dropped for room since logging was last switched on

void showNote() {
    if (failing) {
        SetStatusNote(texts::LogWriteFailed);
    } else if (const int64_t count = lost; count > 0) {
        SetStatusNote(std::u16string(texts::LogRecordsLost) + IntegerToText(count));
    } else {
        SetStatusNote({});
    }
}

bool openLog() {
    if (!TextFileOpen(LogFileNumber, texts::LogFileName)) return false;
    const int64_t size = TextFileSize(LogFileNumber);
    if (size > 0) {
        TextFileSeek(LogFileNumber, size);
    } else {
        TextFileWriteMark(LogFileNumber);
    }
    return true;
}

// Writes what waits, a record at a time; false at the first the system refuses.
bool writeWaiting() {
    std::lock_guard guard(waitingLock);
    while (!waiting.empty()) {
        TextFileWriteLine(LogFileNumber, waiting.front());
        if (TextFileFlush(LogFileNumber) < 0) {
            // Nothing of the record stays in the file. Closing it makes the next attempt
            // start over, with the mark should the file have been left empty.
            TextFileClose(LogFileNumber);
            return false;
        }
        waiting.pop_front();
    }
    return true;
}

// The log is open at its name, opened again if need be.
bool logReady() {
    // Records written on into a file that was deleted or renamed would reach nobody.
    if (TextFileIsOpen(LogFileNumber) && !TextFileIsStillAt(LogFileNumber, texts::LogFileName))
        TextFileClose(LogFileNumber);
    return TextFileIsOpen(LogFileNumber) || openLog();
}

}  // namespace

void WriteLog(std::u16string_view text) {
    std::u16string line(text);
    if (!line.empty()) {
        // One record is always one line.
        ReplaceInPlace(line, u"\n", u" ");
        ReplaceInPlace(line, u"\r", u" ");
        line.insert(0, LogStampText(CurrentDate()));
    }
    // What waits goes first, so that no record is lost for room that has come back.
    if (failing && logReady()) writeWaiting();
    {
        std::lock_guard guard(waitingLock);
        waiting.push_back(std::move(line));
        if (waiting.size() > LogWaitingLimit) {
            waiting.pop_front();
            ++lost;
        }
    }
    failing = !(logReady() && writeWaiting());
    showNote();
}

void WriteLogStopped() {
    {
        std::lock_guard guard(waitingLock);
        waiting.clear();
    }
    failing = false;
    lost = 0;
    showNote();
}

}  // namespace kv
