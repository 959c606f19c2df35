#include "sim/sim_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "onewire/ds18x20.h"
#include "runtime/clock.h"

namespace kv {
namespace {

// The datasheets' codes, written out here rather than taken from the 1-Wire module, so that
// a wrong code there shows as a device that does not answer. The family codes are the 1-Wire
// module's: the tests spell their ROM codes out, so a wrong family code still shows there.
constexpr uint8_t ReadRom = 0x33;
constexpr uint8_t MatchRom = 0x55;
constexpr uint8_t SkipRom = 0xCC;
constexpr uint8_t SearchRom = 0xF0;
constexpr uint8_t ConvertT = 0x44;
constexpr uint8_t ReadScratchpad = 0xBE;
constexpr uint8_t ReadPowerSupply = 0xB4;
constexpr uint8_t WriteScratchpad = 0x4E;
constexpr uint8_t CopyScratchpad = 0x48;
constexpr uint8_t Recall = 0xB8;
constexpr uint8_t CountPerC = 0x10;
constexpr int DoubleCountPerC = 0x20;
constexpr int MaxBits = 12;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The register value nearest to celsius in the given steps per degree; a temperature the
// 16-bit register cannot hold (or none at all) saturates instead of wrapping.
int16_t RawInSteps(double celsius, double stepsPerDegree) {
    const double steps = celsius * stepsPerDegree;
    if (std::isnan(steps)) return 0;
    return static_cast<int16_t>(std::lround(std::clamp<double>(steps, INT16_MIN, INT16_MAX)));
}

}  // namespace

uint8_t SimCrc8(const uint8_t* data, int length) {
    uint8_t crc = 0;
    for (int i = 0; i < length; ++i) {
        uint8_t byte = data[i];
        for (int b = 0; b < 8; ++b) {
            crc = ((crc ^ byte) & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C)
                                     : static_cast<uint8_t>(crc >> 1);
            byte >>= 1;
        }
    }
    return crc;
}

RomCode SimMakeRom(uint8_t family, uint64_t serial) {
    RomCode rom{};
    rom[0] = family;
    for (int i = 0; i < 6; ++i) rom[1 + i] = static_cast<uint8_t>(serial >> (8 * i));
    rom[7] = SimCrc8(rom.data(), 7);
    return rom;
}

bool SimParseRom(const char* text, RomCode& rom) {
    if (text == nullptr) return false;
    const size_t length = std::strlen(text);
    if (length != 16 && length != 14) return false;
    RomCode parsed{};
    for (size_t i = 0; i < length; i += 2) {
        const int high = HexValue(text[i]), low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) return false;
        parsed[i / 2] = static_cast<uint8_t>(high * 16 + low);
    }
    if (length == 14) parsed[7] = SimCrc8(parsed.data(), 7);
    rom = parsed;
    return true;
}

SimDevice::SimDevice(const RomCode& rom) : rom_(rom) {
    powerOnRegisters();
}

bool SimDevice::isThermometer() const {
    return IsThermometerFamily(rom_[0]);
}

void SimDevice::setTemperature(double celsius) {
    std::lock_guard<std::mutex> lock(mutex_);
    celsius_ = celsius;
    exactRaw_ = false;
}

void SimDevice::setRawTemperature(int16_t raw) {
    std::lock_guard<std::mutex> lock(mutex_);
    setRaw_ = raw;
    exactRaw_ = true;
}

void SimDevice::setDrift(double amplitudeCelsius, int64_t periodMilliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    driftAmplitude_ = amplitudeCelsius;
    driftPeriodMs_ = periodMilliseconds;
}

void SimDevice::setParasite(bool parasite) {
    std::lock_guard<std::mutex> lock(mutex_);
    parasite_ = parasite;
}

bool SimDevice::parasite() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return parasite_;
}

void SimDevice::setResolution(int bits) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!part_.resolutionHonoured) return;
    eepromResolution_ = resolution_ = std::clamp(bits, 9, 12);
}

void SimDevice::setCorruptScratchpadCrc(bool corrupt) {
    std::lock_guard<std::mutex> lock(mutex_);
    corruptCrc_ = corrupt;
}

void SimDevice::setPart(const SimPart& part) {
    std::lock_guard<std::mutex> lock(mutex_);
    part_ = part;
    if (!part_.resolutionHonoured) eepromResolution_ = 12;
    powerOnRegisters();
}

std::vector<uint8_t> SimDevice::scratchpadNow() {
    const int64_t now = MicrosecondClock();
    std::lock_guard<std::mutex> lock(mutex_);
    return scratchpad(now);
}

std::vector<uint8_t> SimDevice::eepromNow() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return {eepromTh_, eepromTl_, static_cast<uint8_t>(eepromResolution_)};
}

int SimDevice::conversions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return conversions_;
}

std::set<int16_t> SimDevice::convertedRaws() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return convertedRaws_;
}

int64_t SimDevice::conversionTime() const {
    if (rom_[0] != FamilyDs18b20) return part_.conversionUs;
    const int fewer = MaxBits - resolution_;
    switch (part_.scaling) {
        case ResolutionScaling::Flat:
            return part_.conversionUs;
        case ResolutionScaling::SqrtTwo:
            return std::llround(static_cast<double>(part_.conversionUs) /
                                std::pow(std::numbers::sqrt2, fewer));
        case ResolutionScaling::Halves:
        case ResolutionScaling::NotPublished:
            break;
    }
    return part_.conversionUs >> fewer;
}

double SimDevice::measured(int64_t atMicroseconds) const {
    if (driftAmplitude_ == 0.0 || driftPeriodMs_ <= 0) return celsius_;
    const double phase = static_cast<double>(atMicroseconds / 1000 % driftPeriodMs_) /
                         static_cast<double>(driftPeriodMs_);
    return celsius_ + driftAmplitude_ * std::sin(2.0 * std::numbers::pi * phase);
}

int16_t SimDevice::rawFor(double celsius) const {
    if (rom_[0] == FamilyDs18s20) return RawInSteps(celsius, 2.0);
    const int16_t raw = RawInSteps(celsius, 16.0);
    // Lower resolutions leave the lowest bits undefined; the device sends them as zeros.
    return static_cast<int16_t>(raw & ~((1 << (12 - resolution_)) - 1));
}

void SimDevice::settleConversion(int64_t now) {
    if (!converting_ || now < conversionEnd_) return;
    converting_ = false;
    ++conversions_;
    const double celsius = sampledCelsius_;
    register_ = sampledRaw_;
    convertedRaws_.insert(register_);
    if (rom_[0] == FamilyDs18b20) {
        // A genuine DS18B20 leaves 16 - (the register's sixteenths) in its COUNT_REMAIN byte
        // after every conversion; only the power-on scratchpad holds 0x0C there. Other
        // makes keep whatever the byte held.
        if (part_.byte6 == CountRemain::Sixteenths)
            countRemain_ = CountPerC - (register_ & 0x0F);
        else if (part_.byte6 == CountRemain::SixteenthsPlus16)
            countRemain_ = DoubleCountPerC - (register_ & 0x0F);
    } else {
        // The half-degree register and COUNT_REMAIN come from one count, so that the
        // extended-resolution formula, TEMP_READ (the register without its half-degree bit)
        // - 0.25 + (COUNT_PER_C - COUNT_REMAIN) / COUNT_PER_C, gives the temperature back.
        const int tempRead = register_ >> 1;
        const double fraction = (celsius - tempRead + 0.25) * CountPerC;
        countRemain_ =
            CountPerC - static_cast<int>(std::lround(std::clamp(fraction, 0.0, double{CountPerC})));
    }
}

void SimDevice::powerOnRegisters() {
    converting_ = false;
    register_ = part_.powerOnRaw.value_or(rom_[0] == FamilyDs18s20 ? SimPowerOnRawDs18s20
                                                                   : SimPowerOnRawDs18b20);
    countRemain_ = part_.byte6PowerOn;
    th_ = eepromTh_;
    tl_ = eepromTl_;
    resolution_ = eepromResolution_;
}

std::vector<uint8_t> SimDevice::scratchpad(int64_t now) {
    settleConversion(now);
    std::vector<uint8_t> pad(9);
    pad[0] = static_cast<uint8_t>(register_ & 0xFF);
    pad[1] = static_cast<uint8_t>((register_ >> 8) & 0xFF);
    pad[2] = th_;
    pad[3] = tl_;
    if (rom_[0] == FamilyDs18s20) {
        pad[4] = 0xFF;
        pad[5] = part_.byte5;
        pad[6] = static_cast<uint8_t>(countRemain_);
        pad[7] = part_.byte7;
    } else {
        pad[4] = static_cast<uint8_t>(0x1F | ((resolution_ - 9) << 5));
        pad[5] = part_.byte5;
        pad[6] = static_cast<uint8_t>(countRemain_);
        pad[7] = part_.byte7;
    }
    pad[8] = SimCrc8(pad.data(), 8);
    if (corruptCrc_) pad[8] ^= 0x5A;
    return pad;
}

void SimDevice::startTransmit(std::vector<uint8_t> bytes) {
    out_ = std::move(bytes);
    phase_ = Phase::Transmit;
    bit_ = 0;
}

void SimDevice::busReset() {
    std::lock_guard<std::mutex> lock(mutex_);
    phase_ = Phase::RomCommand;
    bit_ = 0;
    shift_ = 0;
    searchStep_ = 0;
    out_.clear();
    received_.clear();
}

void SimDevice::powerLost() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!parasite_) return;  // an externally supplied part keeps its registers
    phase_ = Phase::Idle;
    powerOnRegisters();
}

void SimDevice::powerOn() {
    std::lock_guard<std::mutex> lock(mutex_);
    phase_ = Phase::Idle;
    powerOnRegisters();
}

bool SimDevice::pullsSlotLow(int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (phase_) {
        case Phase::Transmit: {
            const size_t byte = static_cast<size_t>(bit_ / 8);
            if (byte >= out_.size()) return false;  // past the data the device sends ones
            return ((out_[byte] >> (bit_ % 8)) & 1) == 0;
        }
        case Phase::ReadRom:
            return !romBit(bit_);
        case Phase::SearchRom:
            if (searchStep_ == 0) return !romBit(bit_);
            if (searchStep_ == 1) return romBit(bit_);
            return false;
        case Phase::PowerAnswer:
            return parasite_ && part_.parasiteCapable;
        case Phase::Converting:
            // Only a part with its own supply can spare the current to signal that it is busy;
            // a parasite-powered one lives off the line during the conversion and stays silent.
            settleConversion(now);
            if (!converting_ || parasite_ || part_.busy == BusySignal::None) return false;
            return part_.busy != BusySignal::Late || now >= conversionStart_ + part_.busyDelayUs;
        default:
            return false;
    }
}

void SimDevice::slotDone(bool level, int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (phase_) {
        case Phase::RomCommand:
        case Phase::Function:
        case Phase::WriteScratchpad: {
            shift_ |= static_cast<uint32_t>(level) << bit_;
            if (++bit_ < 8) return;
            const auto byte = static_cast<uint8_t>(shift_);
            bit_ = 0;
            shift_ = 0;
            if (phase_ == Phase::Function) {
                functionCommand(byte, now);
            } else if (phase_ == Phase::WriteScratchpad) {
                received_.push_back(byte);
                const size_t wanted = rom_[0] == FamilyDs18b20 ? 3 : 2;
                if (received_.size() < wanted) return;
                th_ = received_[0];
                tl_ = received_[1];
                if (wanted == 3 && part_.resolutionHonoured)
                    resolution_ = 9 + ((received_[2] >> 5) & 3);
                if (wanted == 3 && part_.writeFault) countRemain_ = received_[2];
                phase_ = Phase::Idle;
            } else if (byte == ReadRom) {
                phase_ = Phase::ReadRom;
            } else if (byte == MatchRom) {
                phase_ = Phase::MatchRom;
            } else if (byte == SkipRom) {
                phase_ = Phase::Function;
            } else if (byte == SearchRom) {
                phase_ = Phase::SearchRom;
                searchStep_ = 0;
            } else {
                phase_ = Phase::Idle;  // alarm search and anything unknown
            }
            return;
        }
        case Phase::ReadRom:
            if (++bit_ == 64) {
                phase_ = Phase::Function;
                bit_ = 0;
            }
            return;
        case Phase::MatchRom:
            if (level != romBit(bit_)) {
                phase_ = Phase::Idle;
                return;
            }
            if (++bit_ == 64) {
                phase_ = Phase::Function;
                bit_ = 0;
            }
            return;
        case Phase::SearchRom:
            if (searchStep_ < 2) {
                ++searchStep_;
                return;
            }
            searchStep_ = 0;
            if (level != romBit(bit_)) {
                phase_ = Phase::Idle;
                return;
            }
            if (++bit_ == 64) {
                phase_ = Phase::Function;
                bit_ = 0;
            }
            return;
        case Phase::Transmit:
            ++bit_;
            return;
        default:
            return;
    }
}

void SimDevice::functionCommand(uint8_t command, int64_t now) {
    if (!isThermometer()) {
        phase_ = Phase::Idle;
        return;
    }
    switch (command) {
        case ConvertT:
            settleConversion(now);
            if (parasite_ && !part_.parasiteCapable) {
                powerOnRegisters();  // browned out
                phase_ = Phase::Idle;
                return;
            }
            converting_ = true;
            conversionStart_ = now;
            conversionEnd_ = now + conversionTime();
            // The part measures now; what the temperature does later is the next conversion's.
            sampledCelsius_ = exactRaw_ ? setRaw_ / 2.0 : measured(conversionEnd_);
            sampledRaw_ = exactRaw_ ? setRaw_ : rawFor(sampledCelsius_);
            phase_ = Phase::Converting;
            return;
        case ReadScratchpad:
            startTransmit(scratchpad(now));
            return;
        case ReadPowerSupply:
            phase_ = Phase::PowerAnswer;
            return;
        case WriteScratchpad:
            phase_ = Phase::WriteScratchpad;
            received_.clear();
            return;
        case CopyScratchpad:
            eepromTh_ = th_;
            eepromTl_ = tl_;
            eepromResolution_ = resolution_;
            phase_ = Phase::Idle;
            return;
        case Recall:
            phase_ = Phase::Idle;
            if (!part_.hasEeprom) return;
            th_ = eepromTh_;
            tl_ = eepromTl_;
            resolution_ = eepromResolution_;
            phase_ = Phase::Idle;
            return;
        default:
            phase_ = Phase::Idle;
            return;
    }
}

}  // namespace kv
