#include "tests/onewire/fake_onewire_bus.h"

#include "onewire/crc8.h"

namespace kv::test {
namespace {

constexpr uint8_t PresenceEcho = 0xE0;  // devices pull the tail of the reset byte low
constexpr uint8_t ZeroReadEcho = 0xFC;  // a read slot cut short by a device holding the line

int RomBit(const std::array<uint8_t, 8>& rom, int index) {
    return (rom[index / 8] >> (index % 8)) & 1;
}

}  // namespace

std::vector<uint8_t> FakeOneWireBus::answer(uint8_t byte, int baud) {
    if (baud == 9600) {
        if (byte != 0xF0) return {byte};
        ++resets;
        phase_ = Phase::RomCommand;
        shift_ = 0;
        bitCount_ = 0;
        active_.assign(devices.size(), false);
        bool any = false;
        for (size_t i = 0; i < devices.size(); ++i) {
            active_[i] = devices[i].present;
            any = any || devices[i].present;
        }
        return {any ? PresenceEcho : byte};
    }
    if (++slots_ == leaveAfterSlots) {
        for (auto& device : devices) device.present = false;
    }
    int line = byte == 0xFF ? driveBit() : 0;
    if (phase_ == Phase::Search && searchStep_ < 2) {
        searchStep_++;
    } else {
        takeBit(byte == 0xFF ? 1 : 0);
    }
    return {static_cast<uint8_t>(line ? 0xFF : (byte == 0xFF ? ZeroReadEcho : 0x00))};
}

int FakeOneWireBus::driveBit() {
    int line = 1;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (!active_.empty() && active_[i] && devices[i].present) {
            if (phase_ == Phase::Search && searchStep_ < 2) {
                int bit = RomBit(devices[i].rom, searchBit_);
                line &= searchStep_ == 0 ? bit : 1 - bit;
            } else if (phase_ == Phase::Sending && !deviceBits_[i].empty()) {
                line &= deviceBits_[i].front();
            }
        }
    }
    if (phase_ == Phase::Sending) {
        for (auto& bits : deviceBits_) {
            if (!bits.empty()) bits.erase(bits.begin());
        }
    }
    return line;
}

void FakeOneWireBus::takeBit(int bit) {
    switch (phase_) {
        case Phase::RomCommand:
        case Phase::FunctionCommand: {
            shift_ = static_cast<uint8_t>(shift_ | (bit << bitCount_));
            if (++bitCount_ < 8) return;
            uint8_t command = shift_;
            shift_ = 0;
            bitCount_ = 0;
            commands.push_back(command);
            if (phase_ == Phase::FunctionCommand) {
                startFunction(command);
            } else if (command == 0xF0) {
                phase_ = Phase::Search;
                searchBit_ = 0;
                searchStep_ = 0;
            } else if (command == 0x55) {
                phase_ = Phase::Match;
                searchBit_ = 0;
            } else if (command == 0xCC) {
                phase_ = Phase::FunctionCommand;
            } else {
                phase_ = Phase::Done;
            }
            return;
        }
        case Phase::Search:
        case Phase::Match:
            for (size_t i = 0; i < devices.size(); ++i) {
                if (active_[i] && RomBit(devices[i].rom, searchBit_) != bit) active_[i] = false;
            }
            searchStep_ = 0;
            if (++searchBit_ == 64)
                phase_ = phase_ == Phase::Match ? Phase::FunctionCommand : Phase::Done;
            return;
        default:
            return;
    }
}

void FakeOneWireBus::startFunction(uint8_t command) {
    deviceBits_.assign(devices.size(), {});
    phase_ = Phase::Sending;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (!active_[i]) continue;
        if (command == 0xBE) {
            for (uint8_t byte : devices[i].scratchpad) {
                for (int b = 0; b < 8; ++b) deviceBits_[i].push_back((byte >> b) & 1);
            }
        } else if (command == 0xB4) {
            deviceBits_[i].push_back(devices[i].externalPower ? 1 : 0);
        } else if (command == 0x44) {
            deviceBits_[i].push_back(0);  // busy: the first read slot after Convert T reads 0
        }
    }
}

std::array<uint8_t, 8> MakeRom(uint8_t family, uint64_t serial) {
    std::array<uint8_t, 8> rom{family};
    for (int i = 0; i < 6; ++i) rom[1 + i] = static_cast<uint8_t>(serial >> (8 * i));
    rom[7] = static_cast<uint8_t>(OneWireCrc8(rom.data(), 7));
    return rom;
}

std::array<uint8_t, 9> MakeScratchpad(uint16_t raw) {
    std::array<uint8_t, 9> pad{static_cast<uint8_t>(raw & 0xFF),
                               static_cast<uint8_t>(raw >> 8),
                               0x4B,
                               0x46,
                               0x7F,
                               0xFF,
                               0x0C,
                               0x10};
    pad[8] = static_cast<uint8_t>(OneWireCrc8(pad.data(), 8));
    return pad;
}

}  // namespace kv::test
