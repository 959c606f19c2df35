#include "monitor/status_text.h"

#include <mutex>

#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "runtime/integer_text.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

constexpr int StatusField = 0;

// The toolkit is called outside the lock: a call from the worker waits for the window
// thread, which may itself be waiting here to set the note.
std::mutex statusLock;
std::u16string shownText;
std::u16string shownNote;

std::u16string composed() {
    if (shownNote.empty()) return shownText;
    return shownText + std::u16string(texts::StatusNoteLead) + shownNote;
}

}  // namespace

void ShowStatus(std::u16string_view text) {
    std::u16string line;
    {
        std::lock_guard guard(statusLock);
        shownText = text;
        line = composed();
    }
    ui::SetStatusText(StatusLine, StatusField, line);
}

void SetStatusNote(std::u16string_view note) {
    std::u16string line;
    {
        std::lock_guard guard(statusLock);
        if (shownNote == note) return;
        shownNote = note;
        line = composed();
    }
    ui::SetStatusText(StatusLine, StatusField, line);
}

std::u16string FoundDevicesText(int64_t deviceCount) {
    std::u16string text(texts::FoundHead);
    text += IntegerToText(deviceCount);
    text += texts::FoundWire;
    text += PluralForm(deviceCount, texts::DeviceOne, texts::DeviceFew, texts::DeviceMany);
    return text;
}

std::u16string StatusSuffixText(int64_t errorCount, int64_t limitCount) {
    std::u16string text;
    if (errorCount > 0) {
        text += texts::FaultyLead;
        text += PluralForm(errorCount, texts::FaultyVerbOne, texts::FaultyVerbFew,
                           texts::FaultyVerbMany);
        text += IntegerToText(errorCount);
        text += PluralForm(errorCount, texts::SensorOne, texts::SensorFew, texts::SensorMany);
        text += texts::FaultyTail;
    } else {
        text += texts::SentenceEnd;
    }
    if (limitCount > 0) {
        text += texts::LimitLead;
        text += IntegerToText(limitCount);
        text += PluralForm(limitCount, texts::LimitSensorOne, texts::LimitSensorFew,
                           texts::LimitSensorMany);
        text += texts::LimitTail;
    }
    return text;
}

std::u16string NothingFoundText(std::u16string_view portName) {
    std::u16string text(texts::NothingFoundHead);
    text += portName;
    text += texts::NothingFoundTail;
    return text;
}

std::u16string PortMissingText(std::u16string_view portName) {
    std::u16string text(texts::PortMissingHead);
    text += portName;
    text += texts::PortMissingTail;
    return text;
}

std::u16string PortGoneText(std::u16string_view portName) {
    std::u16string text(texts::PortMissingHead);
    text += portName;
    text += texts::PortGoneTail;
    return text;
}

std::u16string NotAnsweringText(DateValue since) {
    return std::u16string(texts::NotAnsweringHead) + DateToText(texts::NotAnsweringDateMask, since);
}

std::u16string PortOpenFailedText(std::u16string_view portName) {
    std::u16string text(texts::PortOpenFailedHead);
    text += portName;
    text += texts::PortOpenFailedTail;
    return text;
}

}  // namespace kv
