// Shared pieces of the worker scenario tests.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "monitor/control_block.h"
#include "monitor/monitor_worker.h"
#include "monitor/sensor_texts.h"
#include "monitor/table_colours.h"
#include "sim/sim_device.h"
#include "tests/monitor/worker_harness.h"

namespace kv::test {

class WorkerTest : public ::testing::Test {
  protected:
    // Row of the device whose serial cell shows this ROM code (-1 when none).
    int rowOf(const RomCode& rom) const {
        const std::u16string serial = FormatRomCode(rom);
        for (int row = 0; row < h.rows(); ++row) {
            if (h.cell(row, 1).rfind(serial, 0) == 0) return row;
        }
        return -1;
    }
    // Runs until the given number of pass ends in all; the worker then stands at its first
    // sleep after that pass end.
    bool runPasses(uint64_t total, int maxSleeps = 400) {
        return h.stepUntil([&] { return MonitorWorkerStatistics().passEnds >= total; }, maxSleeps);
    }

    WorkerHarness h;
};

inline RomCode B20(uint64_t serial) {
    return SimMakeRom(0x28, serial);
}
inline RomCode S20(uint64_t serial) {
    return SimMakeRom(0x10, serial);
}

}  // namespace kv::test
