// A test on a simulated bus opened as a 1-Wire port, with the simulated clock installed.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "onewire/bus.h"
#include "onewire/port.h"
#include "serial/serial_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"

namespace kv::test {

class SimPortTest : public ::testing::Test {
  protected:
    explicit SimPortTest(std::u16string name, uint64_t seed = 1)
        : bus(std::make_shared<SimBus>(seed)), name_(std::move(name)) {}
    void SetUp() override {
        OneWireSetOptions(0);
        SimRegisterBus(name_, bus);
        port = OneWireOpen(name_, PortDynamic);
        ASSERT_NE(port, 0);
    }
    void TearDown() override {
        SerialCloseAll();
        SerialUnregisterVirtualPort(name_);
    }

    SimClock clock;
    ScopedTimeSource time{&clock};
    std::shared_ptr<SimBus> bus;
    int32_t port = 0;

  private:
    std::u16string name_;
};

}  // namespace kv::test
