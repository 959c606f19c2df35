// How a search changes the device list: one rule for a search somebody asked for and for the
// searches made between passes, in both front ends.
#pragma once
#include <cstdint>
#include <vector>

#include "onewire/enumerate.h"
#include "session/sensor_list.h"

namespace kv {

// A record for a device a search found; a ROM code that fails its CRC is flagged at once.
SensorRecord NewRecord(const RomCode& rom);

// The records after a search: those listed keep their order and state, newcomers come behind
// them in search order. After a whole search a device it did not find goes, unless it is a
// thermometer that has answered: that one stays, marked NotAnswering (since now), until it
// answers again. A spoiled search only adds newcomers whose ROM code passes its CRC.
std::vector<SensorRecord> MergedRecords(const SensorList& list, const Enumeration& found);

// A search somebody asked for: a complete one is merged as above, any other leaves the list
// holding what it found, in search order. The cursor stands on the last record.
void TakeAskedSearch(SensorList& list, const Enumeration& found);

struct ListUpdate {
    bool changed = false;  // the devices (their codes, in order) are not those listed before
    int32_t added = 0;     // newcomers
};
// A search made while measuring, merged. When the devices changed the list is made afresh,
// its cursor before the first record; otherwise the records only take the state the merge
// gave them.
ListUpdate UpdateList(SensorList& list, const Enumeration& found);

}  // namespace kv
