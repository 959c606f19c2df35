#include "monitor/device_search.h"

#include <string>

#include "monitor/control_block.h"
#include "monitor/sensor_table.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/port.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

thread_local EnumerationEnd lastSearchEnd = EnumerationEnd::Complete;

// Each device costs nearly two hundred round trips; a stop or a port change does not wait
// for a long enumeration.
bool NoRequestPending() {
    return ControlBlock.StopRequested == 0 && ControlBlock.ReopenPort == 0;
}

}  // namespace

Enumeration FindDevices() {
    EnumerationOptions options;
    options.passRetries = SearchPassRetries;
    options.keepGoing = NoRequestPending;
    Enumeration best;
    for (int32_t attempt = 0; attempt < SearchAttempts; ++attempt) {
        if (attempt > 0 && !NoRequestPending()) break;
        Enumeration found = OneWireEnumerate(PortCurrent, options);
        const bool whole = EnumerationIsWhole(found);
        if (attempt == 0 || whole || found.codes.size() > best.codes.size())
            best = std::move(found);
        if (whole || !SearchWorthRepeating(best.end)) break;
    }
    return best;
}

EnumerationEnd SearchDevices(SensorList& list, std::u16string_view portName) {
    ShowStatus(texts::Searching);
    if (!list.empty()) list.clear();
    const Enumeration found = FindDevices();
    for (const RomCode& rom : found.codes) {
        if (SensorRecord* record = list.append()) record->Rom = rom;
    }
    const auto count = static_cast<int64_t>(found.codes.size());
    if (count > 0) {
        FillSensorList(list);
        std::u16string text = FoundDevicesText(count) + std::u16string(texts::SentenceEnd);
        if (SearchWorthRepeating(found.end)) text += texts::SearchIncomplete;
        ShowStatus(text);
    } else {
        ui::ClearItems(MainWindow, SensorTable);
        ShowStatus(NothingFoundText(portName));
    }
    lastSearchEnd = found.end;
    return found.end;
}

EnumerationEnd LastSearchEnd() {
    return lastSearchEnd;
}

bool SearchWorthRepeating(EnumerationEnd end) {
    return end == EnumerationEnd::BusError || end == EnumerationEnd::RepeatedCode;
}

}  // namespace kv
