// The variables the window thread shares with the monitoring worker. Each field is one
// indivisible 8- or 16-bit value; nothing relies on an order between fields.
#pragma once
#include <atomic>
#include <cstdint>

namespace kv {

struct ControlBlockFields {
    std::atomic<uint8_t> StopRequested{0};
    std::atomic<uint8_t> ReopenPort{0};
    std::atomic<uint8_t> ThermoControl{0};
    std::atomic<uint8_t> ConvertOnly{0};
    std::atomic<uint16_t> Interval{0};
    std::atomic<int16_t> ThermoMin{0};
    std::atomic<int16_t> ThermoMax{0};
    std::atomic<uint8_t> Log{0};
};

extern ControlBlockFields ControlBlock;

// Start-up state: every field 0, then ReopenPort 1.
void ControlBlockReset();

}  // namespace kv
