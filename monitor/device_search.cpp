#include "monitor/device_search.h"

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/reading_sink.h"
#include "monitor/sensor_table.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "onewire/ds18x20.h"
#include "onewire/port.h"
#include "runtime/date_text.h"
#include "ui/toolkit.h"

namespace kv {

namespace {

thread_local EnumerationEnd lastSearchEnd = EnumerationEnd::Complete;

// Each device costs nearly two hundred round trips; a stop or a port change does not wait
// for a long enumeration.
bool NoRequestPending() {
    return ControlBlock.StopRequested == 0 && ControlBlock.ReopenPort == 0;
}

// The records after a search: those listed keep their order and state, newcomers come behind
// them in search order. After a whole search a device it did not find goes, unless it is a
// thermometer that has answered: that one stays, marked NotAnswering. A spoiled search only
// adds newcomers whose ROM code passes its CRC.
std::vector<SensorRecord> Merged(const SensorList& list, const Enumeration& found) {
    const bool whole = EnumerationIsWhole(found);
    const auto inSearch = [&](const RomCode& rom) {
        return std::find(found.codes.begin(), found.codes.end(), rom) != found.codes.end();
    };
    std::vector<SensorRecord> kept;
    for (int32_t i = 0; i < list.count(); ++i) {
        SensorRecord record = list.at(i);
        if (inSearch(record.Rom)) {
            if (record.Flags & NotAnswering) ReadingSinkSensorState(record.Rom, true);
            record.Flags &= static_cast<uint8_t>(~NotAnswering);
        } else if (whole) {
            if (!IsThermometerFamily(record.Rom[0]) || !record.Answered) continue;
            if ((record.Flags & NotAnswering) == 0) {
                record.Flags |= NotAnswering;
                record.NotAnsweringSince = CurrentDate();
                ReadingSinkSensorState(record.Rom, false);
            }
        }
        kept.push_back(record);
    }
    for (const RomCode& rom : found.codes) {
        const bool listed = std::any_of(kept.begin(), kept.end(),
                                        [&](const SensorRecord& r) { return r.Rom == rom; });
        if (!listed && (whole || RomCrcOk(rom.data()))) kept.push_back(SensorRecord{rom});
    }
    return kept;
}

void Replace(SensorList& list, const std::vector<SensorRecord>& records) {
    list.clear();
    for (const SensorRecord& record : records) {
        if (SensorRecord* added = list.append()) *added = record;
    }
}

}  // namespace

Enumeration FindDevices() {
    return OneWireFindDevices(PortCurrent, NoRequestPending);
}

EnumerationEnd SearchDevices(SensorList& list, std::u16string_view portName) {
    ShowStatus(texts::Searching);
    const Enumeration found = FindDevices();
    // Searched again after the bus failed: a thermometer that no longer answers keeps its row.
    std::vector<SensorRecord> records;
    if (found.end == EnumerationEnd::Complete) {
        records = Merged(list, found);
    } else {
        for (const RomCode& rom : found.codes) records.push_back(SensorRecord{rom});
    }
    Replace(list, records);
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
    const std::vector<SensorRecord> kept = Merged(list, found);
    bool same = static_cast<int32_t>(kept.size()) == list.count();
    for (int32_t i = 0; same && i < list.count(); ++i)
        same = kept[static_cast<size_t>(i)].Rom == list.at(i).Rom;
    if (same) {
        for (int32_t i = 0; i < list.count(); ++i) list.at(i) = kept[static_cast<size_t>(i)];
        return false;
    }
    Replace(list, kept);
    FillSensorList(list);
    list.resetCursor();
    return true;
}

EnumerationEnd LastSearchEnd() {
    return lastSearchEnd;
}

}  // namespace kv
