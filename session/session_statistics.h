// Running totals of a bus session: what its passes read and how, the failures, the searches
// it made while measuring. The session's thread writes them; any thread may read them.
#pragma once
#include <atomic>
#include <cstdint>

namespace kv {

struct SessionStatistics {
    std::atomic<uint64_t> passEnds{0};    // pass ends reached (one per device in separate polling)
    std::atomic<uint64_t> readings{0};    // thermometers read with a scratchpad to judge
    std::atomic<uint64_t> okReadings{0};  // of those, judged sound and handed on
    std::atomic<uint64_t> crcErrors{0};   // of those, failing their CRC (or the line held low)
    std::atomic<uint64_t> powerOnValues{0};       // of those, a power-on scratchpad, not a reading
    std::atomic<uint64_t> readFailures{0};        // Match ROM or Read Scratchpad failed twice
    std::atomic<uint64_t> retries{0};             // scratchpads read again after a failed read
    std::atomic<uint64_t> confirmations{0};       // conversions made to check a power-on value
    std::atomic<uint64_t> reconversions{0};       // conversions made again as they had grown old
    std::atomic<uint64_t> busFailures{0};         // addressing or conversion failed
    std::atomic<uint64_t> searches{0};            // searches made while measuring (not on request)
    std::atomic<uint64_t> spoiledSearches{0};     // of those, spoiled by the line
    std::atomic<uint64_t> searchMicroseconds{0};  // the bus time of those searches
    std::atomic<int32_t> deviceCount{0};          // devices the session is measuring now

    // Every total back to 0.
    void reset();
};

}  // namespace kv
