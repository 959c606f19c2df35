// The whole bus stack on a pseudo-terminal: the POSIX serial code and the kernel's tty
// layer carry the bytes, a simulated bus answers on the other side (in real time).
#include <gtest/gtest.h>

#include <functional>

#include "onewire/bus.h"
#include "onewire/ds18x20.h"
#include "onewire/enumerate.h"
#include "onewire/port.h"
#include "onewire/result.h"
#include "onewire/search.h"
#include "runtime/utf.h"
#include "serial/serial_port.h"
#include "sim/posix/pty_server.h"
#include "sim_test_support.h"

namespace kv {
namespace {

const RomCode B20a = SimMakeRom(0x28, 0x0417A3C41EFF);
const RomCode B20b = SimMakeRom(0x28, 0x0316B2A07C5E);
const RomCode B20c = SimMakeRom(0x28, 0x0000075A91D4);
const RomCode S20 = SimMakeRom(0x10, 0x0008021B6F3A);
const RomCode Other = SimMakeRom(0x01, 0x00000D4C22A1);

class PtyBus : public ::testing::Test {
  protected:
    void SetUp() override { OneWireSetOptions(0); }
    void TearDown() override {
        SerialCloseAll();
        if (server) server->stop();
    }
    int32_t serveAndOpen() {
        server = std::make_unique<PtyServer>(bus);
        std::string error;
        if (!server->open(&error) || !server->start()) {
            ADD_FAILURE() << "pty server: " << error;
            return 0;
        }
        return OneWireOpen(U16(server->slavePath()), PortDynamic);
    }

    std::shared_ptr<SimBus> bus = std::make_shared<SimBus>();
    std::unique_ptr<PtyServer> server;
};

TEST_F(PtyBus, FiveDevicesEnumerateInBitOrderAndReadExactTemperatures) {
    auto a = bus->addThermometer(B20a, 0);
    auto b = bus->addThermometer(B20b, 0);
    auto c = bus->addThermometer(B20c, 0, /*parasite=*/true);
    auto s = bus->addThermometer(S20, 0);
    bus->addDevice(Other);
    const int32_t port = serveAndOpen();
    ASSERT_NE(port, 0);

    // The simulated bus answers from a thread of its own in real time; on a loaded machine
    // it can miss the echo limit of a slot (ExchangeError), as a noisy line would. Such a
    // pass is repeated, as the monitor does: what this test checks is order and content.
    EnumerationOptions options;
    options.passRetries = 3;
    const Enumeration found = OneWireEnumerate(port, options);
    EXPECT_EQ(found.codes, test::InSearchOrder({B20a, B20b, B20c, S20, Other}));
    EXPECT_EQ(found.end, EnumerationEnd::Complete);
    EXPECT_EQ(found.result, NoData);

    struct Reading {
        std::shared_ptr<SimDevice> device;
        int16_t raw;
        float celsius;
    };
    const std::vector<std::vector<Reading>> rounds = {
        {{a, 0x0550, 85.0f},
         {b, static_cast<int16_t>(0xFF5E), -10.125f},
         {c, 0x07F0, 127.0f},
         {s, static_cast<int16_t>(0xFFCE), -25.0f}},
        {{a, static_cast<int16_t>(0xFC90), -55.0f},
         {b, 0x0191, 25.0625f},
         {c, 0x07F1, 127.0625f},
         {s, 0x00FE, 127.0f}},
        {{a, 0x0000, 0.0f}, {s, 0x00AA, 85.0f}},
    };
    // Each transaction is tried again (a few times at most) only when an echo came late.
    const auto transact = [](const std::function<bool()>& exchange) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (exchange()) return true;
            if (OneWireLastResult() != ExchangeError) return false;
        }
        return false;
    };
    for (const auto& round : rounds) {
        for (const auto& r : round) r.device->setRawTemperature(r.raw);
        ASSERT_TRUE(transact([&] { return OneWireSkipRom(port) && OneWireConvert(800, port); }));
        for (const auto& r : round) {
            const RomCode& code = r.device->rom();
            uint8_t pad[ScratchpadSize] = {};
            ASSERT_TRUE(transact([&] {
                return OneWireMatchRom(code.data(), port) && OneWireReadScratchpad(pad, port);
            })) << OneWireResultName(OneWireLastResult());
            EXPECT_TRUE(ScratchpadCrcOk(pad));
            EXPECT_EQ(DecodeTemperature(pad, code[0]), r.celsius) << std::hex << r.raw;
        }
    }
    ASSERT_TRUE(OneWireMatchRom(B20c.data(), port));
    EXPECT_EQ(OneWireReadPowerSupply(port), 0);
    ASSERT_TRUE(OneWireMatchRom(B20a.data(), port));
    EXPECT_EQ(OneWireReadPowerSupply(port), 1);
}

TEST_F(PtyBus, EmptyBusGivesNoResponse) {
    const int32_t port = serveAndOpen();
    ASSERT_NE(port, 0);
    uint8_t rom[8];
    OneWireSearchReset();
    EXPECT_EQ(OneWireSearchNext(rom, port), 0);
    EXPECT_EQ(OneWireLastResult(), NoResponse);
    EXPECT_EQ(OneWireReset(port), 0);
    EXPECT_EQ(OneWireLastResult(), NoResponse);
}

TEST_F(PtyBus, NoAdapterGivesExchangeError) {
    bus->addThermometer(B20a, 20.0);
    bus->setAdapterPresent(false);
    const int32_t port = serveAndOpen();
    ASSERT_NE(port, 0) << "the port itself opens";
    uint8_t rom[8];
    OneWireSearchReset();
    EXPECT_EQ(OneWireSearchNext(rom, port), 0);
    EXPECT_EQ(OneWireLastResult(), ExchangeError);
}

TEST_F(PtyBus, ClosedPortGivesNoOpenPort) {
    bus->addThermometer(B20a, 20.0);
    const int32_t port = serveAndOpen();
    ASSERT_NE(port, 0);
    ASSERT_EQ(OneWireClose(port), 1);
    uint8_t rom[8];
    OneWireSearchReset();
    EXPECT_EQ(OneWireSearchNext(rom, port), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);
    EXPECT_EQ(OneWireReset(port), 0);
    EXPECT_EQ(OneWireLastResult(), NoOpenPort);

    // The terminal can be opened again once the first user let go of it.
    const int32_t again = OneWireOpen(U16(server->slavePath()), PortDynamic);
    ASSERT_NE(again, 0);
    EXPECT_EQ(OneWireReset(again), 1);
}

// The bus has one user at a time; a server that could not have it may try again later.
TEST_F(PtyBus, ServerOfABusInUseFailsUntilTheBusIsFree) {
    bus->addThermometer(B20a, 20.0);
    auto user = bus->attach();
    server = std::make_unique<PtyServer>(bus);
    std::string error;
    EXPECT_FALSE(server->open(&error));
    EXPECT_NE(error.find("already attached"), std::string::npos) << error;
    EXPECT_FALSE(server->start());

    user.reset();
    ASSERT_TRUE(server->open(&error)) << error;
    ASSERT_TRUE(server->start());
    const int32_t port = OneWireOpen(U16(server->slavePath()), PortDynamic);
    ASSERT_NE(port, 0);
    EXPECT_EQ(OneWireReset(port), 1);
}

}  // namespace
}  // namespace kv
