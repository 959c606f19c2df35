#include "monitor/event_log.h"

#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "runtime/date_text.h"
#include "runtime/number_text.h"
#include "runtime/text_file.h"

namespace kv {

void WriteLog(std::u16string_view text) {
    if (!TextFileIsOpen(LogFileNumber)) {
        if (!TextFileOpen(LogFileNumber, texts::LogFileName)) return;
        const int64_t size = TextFileSize(LogFileNumber);
        if (size > 0) {
            TextFileSeek(LogFileNumber, size);
        } else {
            TextFileWriteMark(LogFileNumber);
        }
    }
    std::u16string line(text);
    if (!line.empty()) {
        // One record is always one line.
        ReplaceInPlace(line, u"\n", u" ");
        ReplaceInPlace(line, u"\r", u" ");
        line.insert(0, DateToText(texts::LogDateMask, CurrentDate()));
    }
    TextFileWriteLine(LogFileNumber, line);
    TextFileFlush(LogFileNumber);
}

std::u16string LogReadingText(const std::u16string& romText, float celsius) {
    return romText + std::u16string(texts::LogSeparator) + TemperatureText(celsius);
}

}  // namespace kv
