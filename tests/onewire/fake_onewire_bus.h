// A small 1-Wire bus at the level of echoed UART bytes, for driving the search and the
// function commands through the real bus code: a reset is 0xF0 at 9600 baud, each byte at
// 115200 baud is one slot, and the devices pull the line low wired-AND.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv::test {

struct FakeThermometer {
    std::array<uint8_t, 8> rom{};
    std::array<uint8_t, 9> scratchpad{};
    bool externalPower = true;
    bool present = true;
};

class FakeOneWireBus {
  public:
    std::vector<FakeThermometer> devices;
    int resets = 0;
    std::vector<uint8_t> commands;  // ROM and function command bytes as the devices saw them
    int leaveAfterSlots = -1;       // a device leaves the bus after this many slots (once)

    std::vector<uint8_t> answer(uint8_t byte, int baud);
    int slots() const { return slots_; }  // slot bytes seen so far

  private:
    enum class Phase { Idle, RomCommand, Search, Match, FunctionCommand, Sending, Done };
    int driveBit();         // the bit the devices put on the line for a read slot (wired-AND)
    void takeBit(int bit);  // a bit the master wrote
    void startFunction(uint8_t command);

    Phase phase_ = Phase::Idle;
    std::vector<bool> active_;
    uint8_t shift_ = 0;
    int bitCount_ = 0;
    int searchBit_ = 0;          // 0..63
    int searchStep_ = 0;         // 0 id bit, 1 complement, 2 direction
    std::vector<int> sendBits_;  // per device: the bits it sends next, in order
    std::vector<std::vector<int>> deviceBits_;
    int slots_ = 0;
};

// Builds a ROM code with a correct CRC-8 from a family and a 48-bit serial number.
std::array<uint8_t, 8> MakeRom(uint8_t family, uint64_t serial);
// Builds a scratchpad with the temperature bytes and a correct CRC-8.
std::array<uint8_t, 9> MakeScratchpad(uint16_t raw);

}  // namespace kv::test
