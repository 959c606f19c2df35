#include "onewire/measuring.h"

#include <algorithm>

#include "onewire/result.h"
#include "onewire/thermometer_family.h"
#include "onewire/transaction.h"
#include "runtime/clock.h"

namespace kv {
namespace {

bool WorthReadingAgain(Verdict verdict) {
    return verdict == Verdict::BusFailure || verdict == Verdict::ScratchpadCrc ||
           verdict == Verdict::LineHeldLow;
}

void BusFailed(Reading& reading) {
    reading.verdict = Verdict::BusFailure;
    reading.result = OneWireLastResult();
    reading.scratchpadRead = false;
}

}  // namespace

int ThermometerReader::convert(const uint8_t* rom) {
    if (!OneWireStartConversion(rom, port_)) return 0;
    const int64_t now = MillisecondClockWithSuspend();
    lastForAll_ = rom == nullptr;
    if (lastForAll_) {
        allConvertedAt_ = now;
    } else {
        std::copy(rom, rom + RomBytes, oneConverted_.begin());
        oneConvertedAt_ = now;
    }
    return 1;
}

bool ThermometerReader::fresh(const RomCode& rom) const {
    int64_t at = allConvertedAt_;
    if (oneConverted_ == rom) at = std::max(at, oneConvertedAt_);
    return at != Never && MillisecondClockWithSuspend() - at <= StaleConversionMs;
}

Reading ThermometerReader::read(const RomCode& rom) {
    Reading reading;
    reading.rom = rom;
    if (!fresh(rom)) {
        reading.reconverted = true;
        if (!convert(lastForAll_ ? nullptr : rom.data())) {
            BusFailed(reading);
            return reading;
        }
        if (!wait_(FullConversionWaitMs)) return reading;  // Unfinished
    }
    readScratchpad(reading, false);
    if (reading.verdict != Verdict::PowerOn) return reading;

    // Converted again at once and read: only a second power-on value from a family whose
    // power-on scratchpad can also be measured is a reading.
    reading.confirmed = true;
    const ThermometerFamily* family = FindThermometerFamily(rom[0]);
    const int32_t waitMs =
        family ? ConversionWaitMs(*family, reading.resolution) : FullConversionWaitMs;
    if (!convert(rom.data())) {
        BusFailed(reading);
        return reading;
    }
    if (!wait_(waitMs)) return reading;  // still the unconfirmed power-on value
    readScratchpad(reading, true);
    return reading;
}

void ThermometerReader::readScratchpad(Reading& reading, bool confirming) {
    const ThermometerFamily* family = FindThermometerFamily(reading.rom[0]);
    for (int32_t attempt = 0; attempt < ReadAttempts; ++attempt) {
        if (attempt > 0) ++reading.retries;
        Scratchpad pad{};
        if (!OneWireReadDeviceScratchpad(reading.rom.data(), pad.data(), port_)) {
            BusFailed(reading);
            continue;
        }
        reading.scratchpadRead = true;
        reading.result = Ok;
        reading.pad = pad;
        reading.celsius = DecodeTemperature(pad.data(), reading.rom[0]);
        reading.verdict = JudgeScratchpad(reading.rom, pad, confirming);
        const bool sound = !WorthReadingAgain(reading.verdict);
        reading.answered = reading.answered || sound;
        reading.resolution = sound && family ? ScratchpadResolution(*family, pad) : 0;
        if (sound) return;
    }
}

}  // namespace kv
