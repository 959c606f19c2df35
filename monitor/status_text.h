// The status line of the main window and the texts composed for it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/date_text.h"

namespace kv {

// Shows the text, followed by the note while one is set.
void ShowStatus(std::u16string_view text);
// Sets (or, with empty text, removes) a note that stays behind every status text until it is
// removed, and shows the last status text with it at once. Any thread.
void SetStatusNote(std::u16string_view note);

// "Найдено 3 '1-Wire'  устройства" (without the end of the sentence).
std::u16string FoundDevicesText(int64_t deviceCount);
// The tail after the device count: the faulty sensors and the limit violations of a pass.
std::u16string StatusSuffixText(int64_t errorCount, int64_t limitCount);
// "На порту COM1, '1-Wire' устройства не найдены."
std::u16string NothingFoundText(std::u16string_view portName);
std::u16string PortOpenFailedText(std::u16string_view portName);
// "Порт 'ttyUSB0' недоступен": the chosen port is not offered now.
std::u16string PortMissingText(std::u16string_view portName);
// "Не отвечает с 06/12 14:05": the status of a thermometer the search no longer finds.
std::u16string NotAnsweringText(DateValue since);
// "Порт 'ttyUSB0' отключён": the device of the open port has gone.
std::u16string PortGoneText(std::u16string_view portName);

}  // namespace kv
