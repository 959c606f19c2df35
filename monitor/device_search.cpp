#include "monitor/device_search.h"

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/sensor_table.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
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
    std::u16string text;
    if (count > 0) {
        FillSensorList(list);
        text = FoundDevicesText(count) + std::u16string(texts::SentenceEnd);
    } else {
        ui::ClearItems(MainWindow, SensorTable);
        text = NothingFoundText(portName);
    }
    if (SearchWorthRepeating(found.end)) text += texts::SearchIncomplete;
    ShowStatus(text);
    lastSearchEnd = found.end;
    return found.end;
}

bool UpdateDevices(SensorList& list, const Enumeration& found) {
    std::vector<SensorRecord> kept;
    auto listed = [&](const RomCode& rom) -> const SensorRecord* {
        for (int32_t i = 0; i < list.count(); ++i) {
            if (list.at(i).Rom == rom) return &list.at(i);
        }
        return nullptr;
    };
    if (EnumerationIsWhole(found)) {
        for (const RomCode& rom : found.codes) {
            const SensorRecord* old = listed(rom);
            kept.push_back(old ? *old : SensorRecord{rom});
        }
    } else {
        for (int32_t i = 0; i < list.count(); ++i) kept.push_back(list.at(i));
        for (const RomCode& rom : found.codes) {
            if (!listed(rom) && RomCrcOk(rom.data())) kept.push_back(SensorRecord{rom});
        }
    }
    bool same = static_cast<int32_t>(kept.size()) == list.count();
    for (int32_t i = 0; same && i < list.count(); ++i)
        same = kept[static_cast<size_t>(i)].Rom == list.at(i).Rom;
    if (same) return false;
    list.clear();
    for (const SensorRecord& record : kept) {
        if (SensorRecord* added = list.append()) *added = record;
    }
    FillSensorList(list);
    list.resetCursor();
    return true;
}

EnumerationEnd LastSearchEnd() {
    return lastSearchEnd;
}

bool SearchWorthRepeating(EnumerationEnd end) {
    return end == EnumerationEnd::BusError || end == EnumerationEnd::RepeatedCode;
}

}  // namespace kv
