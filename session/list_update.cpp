#include "session/list_update.h"

#include <algorithm>

#include "onewire/ds18x20.h"
#include "runtime/date_text.h"

namespace kv {
namespace {

bool Listed(const std::vector<SensorRecord>& records, const RomCode& rom) {
    return std::any_of(records.begin(), records.end(),
                       [&](const SensorRecord& record) { return record.Rom == rom; });
}

void Replace(SensorList& list, const std::vector<SensorRecord>& records) {
    list.clear();
    for (const SensorRecord& record : records) {
        if (SensorRecord* added = list.append()) *added = record;
    }
}

}  // namespace

SensorRecord NewRecord(const RomCode& rom) {
    SensorRecord record{rom};
    if (!RomCrcOk(rom.data())) record.Flags = RomCrcError;
    return record;
}

std::vector<SensorRecord> MergedRecords(const SensorList& list, const Enumeration& found) {
    const bool whole = EnumerationIsWhole(found);
    const auto inSearch = [&](const RomCode& rom) {
        return std::find(found.codes.begin(), found.codes.end(), rom) != found.codes.end();
    };
    std::vector<SensorRecord> kept;
    for (SensorRecord record : list.records()) {
        if (inSearch(record.Rom)) {
            record.Flags &= static_cast<uint8_t>(~NotAnswering);
        } else if (whole) {
            if (!IsThermometerFamily(record.Rom[0]) || !record.Answered) continue;
            if ((record.Flags & NotAnswering) == 0) {
                record.Flags |= NotAnswering;
                record.NotAnsweringSince = CurrentDate();
            }
        }
        kept.push_back(record);
    }
    for (const RomCode& rom : found.codes) {
        if (!Listed(kept, rom) && (whole || RomCrcOk(rom.data()))) kept.push_back(NewRecord(rom));
    }
    return kept;
}

void TakeAskedSearch(SensorList& list, const Enumeration& found) {
    std::vector<SensorRecord> records;
    if (found.end == EnumerationEnd::Complete) {
        records = MergedRecords(list, found);
    } else {
        for (const RomCode& rom : found.codes) records.push_back(NewRecord(rom));
    }
    Replace(list, records);
}

ListUpdate UpdateList(SensorList& list, const Enumeration& found) {
    const std::vector<SensorRecord> kept = MergedRecords(list, found);
    ListUpdate update;
    update.changed = kept.size() != list.records().size();
    for (size_t i = 0; !update.changed && i < kept.size(); ++i)
        update.changed = kept[i].Rom != list.records()[i].Rom;
    if (!update.changed) {
        for (int32_t i = 0; i < list.count(); ++i) list.at(i) = kept[static_cast<size_t>(i)];
        return update;
    }
    for (const SensorRecord& record : kept)
        update.added += Listed(list.records(), record.Rom) ? 0 : 1;
    Replace(list, kept);
    list.resetCursor();
    return update;
}

}  // namespace kv
