#include "monitor/event_log.h"

#include <atomic>

#include "monitor/log_line.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "runtime/date_text.h"
#include "runtime/number_text.h"
#include "runtime/text_file.h"

namespace kv {
namespace {

std::atomic<bool> failing{false};

void setFailing(bool now) {
    if (failing.exchange(now) == now) return;
    SetStatusNote(now ? texts::LogWriteFailed : std::u16string_view());
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

}  // namespace

void WriteLog(std::u16string_view text) {
    // Records written on into a file that was deleted or renamed would reach nobody.
    if (TextFileIsOpen(LogFileNumber) && !TextFileIsStillAt(LogFileNumber, texts::LogFileName))
        TextFileClose(LogFileNumber);
    if (!TextFileIsOpen(LogFileNumber) && !openLog()) {
        setFailing(true);
        return;
    }
    std::u16string line(text);
    if (!line.empty()) {
        // One record is always one line.
        ReplaceInPlace(line, u"\n", u" ");
        ReplaceInPlace(line, u"\r", u" ");
        line.insert(0, LogStampText(CurrentDate()));
    }
    TextFileWriteLine(LogFileNumber, line);
    if (TextFileFlush(LogFileNumber) < 0) {
        // Nothing of the record stays in the file. Closing it makes the next record start
        // over, with the mark should the file have been left empty.
        TextFileClose(LogFileNumber);
        setFailing(true);
        return;
    }
    setFailing(false);
}

void WriteLogStopped() {
    setFailing(false);
}

}  // namespace kv
