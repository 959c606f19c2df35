#include "monitor/reading_sink.h"

#include <mutex>
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
std::vector<std::pair<int32_t, ReadingConsumer>> consumers;
int32_t lastId = 0;

}  // namespace

int32_t ReadingSinkAdd(ReadingConsumer consumer) {
    std::lock_guard guard(consumersLock);
    consumers.emplace_back(++lastId, std::move(consumer));
    return lastId;
}

void ReadingSinkRemove(int32_t id) {
    std::lock_guard guard(consumersLock);
    std::erase_if(consumers, [id](const auto& entry) { return entry.first == id; });
}

bool ReadingSinkTake(const RomCode& rom, float celsius) {
    const SensorReading reading{rom, celsius, CurrentDate()};
    const bool logged = ControlBlock.Log != 0;
    if (logged) WriteLog(LogReadingText(FormatRomCode(rom), celsius));
    std::lock_guard guard(consumersLock);
    for (const auto& [id, consumer] : consumers) consumer(reading);
    return logged;
}

}  // namespace kv
