#include "monitor/reading_sink.h"

#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "monitor/control_block.h"
#include "monitor/event_log.h"
#include "monitor/log_line.h"
#include "monitor/sensor_texts.h"

namespace kv {
namespace {

// Held while the consumers are called, so that a removal waits for a delivery under way.
std::mutex consumersLock;
struct Consumer {
    int32_t id = 0;
    ReadingConsumer reading;
    SensorStateConsumer state;
};
std::vector<Consumer> consumers;
int32_t lastId = 0;

}  // namespace

int32_t ReadingSinkAdd(ReadingConsumer consumer, SensorStateConsumer onState) {
    std::lock_guard guard(consumersLock);
    consumers.push_back(Consumer{++lastId, std::move(consumer), std::move(onState)});
    return lastId;
}

void ReadingSinkRemove(int32_t id) {
    std::lock_guard guard(consumersLock);
    std::erase_if(consumers, [id](const Consumer& entry) { return entry.id == id; });
}

bool ReadingSinkTake(const RomCode& rom, float celsius) {
    const SensorReading reading{rom, celsius, CurrentDate()};
    const bool logged = ControlBlock.Log != 0;
    if (logged) WriteLog(LogReadingText(FormatRomCode(rom), celsius));
    std::lock_guard guard(consumersLock);
    for (const Consumer& consumer : consumers)
        if (consumer.reading) consumer.reading(reading);
    return logged;
}

void ReadingSinkSensorState(const RomCode& rom, bool answering) {
    std::lock_guard guard(consumersLock);
    for (const Consumer& consumer : consumers)
        if (consumer.state) consumer.state(rom, answering);
}

void ReadingSinkFollowList(const SensorList& list) {
    static std::set<RomCode> lost;  // worker thread only
    for (const SensorRecord& record : list.records()) {
        const bool gone = (record.Flags & NotAnswering) != 0;
        if (gone == lost.contains(record.Rom)) continue;
        if (gone) {
            lost.insert(record.Rom);
        } else {
            lost.erase(record.Rom);
        }
        ReadingSinkSensorState(record.Rom, !gone);
    }
}

}  // namespace kv
