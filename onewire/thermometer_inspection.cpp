#include "onewire/thermometer_inspection.h"

#include <algorithm>
#include <array>

#include "onewire/enumerate.h"
#include "onewire/result.h"
#include "onewire/thermometer_family.h"
#include "onewire/transaction.h"

namespace kv {
namespace {

// Alarm bytes to write where the part held neither: one of these differs from both.
constexpr std::array<uint8_t, 3> ProbeAlarmBytes = {0x55, 0x2A, 0x5A};

uint8_t ByteOtherThan(uint8_t a, uint8_t b) {
    for (uint8_t candidate : ProbeAlarmBytes)
        if (candidate != a && candidate != b) return candidate;
    return ProbeAlarmBytes[0];
}

class Inspector {
  public:
    Inspector(const ThermometerFamily& family, int32_t port, const MeasureWait& wait,
              ThermometerInspection& seen)
        : family_(family), port_(port), wait_(wait), seen_(seen) {}

    void run() {
        const int external = OneWireReadDevicePowerSupply(seen_.rom.data(), port_);
        if (!noteFailure()) return;
        seen_.external = external != 0;
        seen_.first = read();
        if (!seen_.first) return;  // nothing was changed
        gather();
        restore();
    }

  private:
    // True when the last operation went well; otherwise the first failure's code is kept.
    bool noteFailure() {
        const int32_t code = OneWireLastResult();
        if (code != Ok && seen_.result == Ok) seen_.result = code;
        return code == Ok;
    }

    // A scratchpad that passed its CRC, read again once after a failed or spoiled read.
    std::optional<Scratchpad> read() {
        for (int32_t attempt = 0; attempt < ReadAttempts; ++attempt) {
            Scratchpad pad{};
            if (!OneWireReadDeviceScratchpad(seen_.rom.data(), pad.data(), port_)) continue;
            if (ScratchpadCrcOk(pad.data()) && !OneWireReadsAsLineHeldLow(pad)) {
                OneWireSetResult(Ok);
                return pad;
            }
            OneWireSetResult(NoData);
        }
        noteFailure();
        return std::nullopt;
    }

    bool write(const std::array<uint8_t, 3>& bytes) {
        OneWireWriteDeviceScratchpad(seen_.rom.data(), bytes.data(), family_.writableBytes, port_);
        return noteFailure();
    }

    // The first scratchpad's TH and TL with the configuration for `bits` (0: the first's).
    bool writeFound(int bits) {
        const Scratchpad& first = *seen_.first;
        return write({first[ScratchpadTh], first[ScratchpadTl],
                      bits ? ResolutionConfig(bits) : first[ScratchpadConfig]});
    }

    bool recall() {
        OneWireRecallDeviceEeprom(seen_.rom.data(), port_);
        return noteFailure();
    }

    // A part with its own supply is polled; one on parasite power, or one that never
    // signals, is given the time the resolution needs.
    bool convert(int bits, std::optional<ConversionTime>& time) {
        if (*seen_.external) {
            ConversionTime polled;
            OneWireTimeConversion(seen_.rom, port_, wait_, polled);
            if (!noteFailure()) return false;
            time = polled;
            seen_.cutShort = polled.cutShort;
            if (polled.cutShort) return false;
            if (polled.ended || polled.sawBusy) return true;
        } else {
            OneWireStartConversion(seen_.rom.data(), port_);
            if (!noteFailure()) return false;
        }
        seen_.cutShort = !wait_(ConversionWaitMs(family_, bits));
        return !seen_.cutShort;
    }

    // Alarm bytes the part held neither in the scratchpad nor in the EEPROM, and a
    // configuration byte other than byte 6 (a DS18B20's configurations are all above what a
    // genuine part keeps there), so that what a write and a recall do shows.
    std::array<uint8_t, 3> probe() const {
        const Scratchpad &first = *seen_.first, &stored = *seen_.stored;
        const uint8_t full = ResolutionConfig(MaxResolutionBits);
        uint8_t config = 0;  // a family without one takes two bytes only
        if (family_.resolutionSettable)
            config = stored[ScratchpadCountRemain] != full
                         ? full
                         : ResolutionConfig(MaxResolutionBits - 1);
        return {ByteOtherThan(first[ScratchpadTh], stored[ScratchpadTh]),
                ByteOtherThan(first[ScratchpadTl], stored[ScratchpadTl]), config};
    }

    void gather() {
        if (!recall()) return;
        seen_.stored = read();
        if (!seen_.stored) return;
        seen_.probe = probe();
        if (!write(seen_.probe)) return;
        seen_.written = read();
        if (!seen_.written || !recall()) return;
        seen_.recalled = read();
        if (!seen_.recalled) return;
        const int full = family_.resolutionSettable ? MaxResolutionBits : 0;
        if (!writeFound(full) || !convert(full, seen_.fullTime)) return;
        seen_.converted = read();
        if (!seen_.converted || !family_.resolutionSettable) return;
        seen_.reducedBits = MinResolutionBits;
        if (!writeFound(seen_.reducedBits)) return;
        if (*seen_.external && !convert(seen_.reducedBits, seen_.reducedTime)) return;
        seen_.reduced = read();
    }

    // Tried twice: the writable bytes are what the part must be left with. A failure on
    // the way that the second attempt made good is no failure of the look.
    void restore() {
        const int32_t before = seen_.result;
        const auto from = static_cast<size_t>(ScratchpadTh);
        const auto to = from + static_cast<size_t>(family_.writableBytes);
        for (int32_t attempt = 0; attempt < ReadAttempts && !seen_.restored; ++attempt) {
            if (!writeFound(0)) continue;
            const std::optional<Scratchpad> now = read();
            seen_.restored = now && std::equal(now->begin() + from, now->begin() + to,
                                               seen_.first->begin() + from);
        }
        if (seen_.restored) seen_.result = before;
    }

    const ThermometerFamily& family_;
    int32_t port_;
    const MeasureWait& wait_;
    ThermometerInspection& seen_;
};

}  // namespace

ThermometerInspection OneWireInspectThermometer(const RomCode& rom, int32_t port,
                                                const MeasureWait& wait) {
    ThermometerInspection seen;
    seen.rom = rom;
    const ThermometerFamily* family = FindThermometerFamily(rom[0]);
    if (!family) {
        OneWireSetResult(BadArgument);
        seen.result = BadArgument;
        return seen;
    }
    Inspector(*family, port, wait, seen).run();
    OneWireSetResult(seen.result);
    return seen;
}

}  // namespace kv
