// Measuring thermometers: the conversions, the waits they need, and the reading of each
// device with all a real line asks for before a value is believed. The caller keeps its own
// loop and gives the waits, which its requests may cut short.
#pragma once
#include <cstdint>
#include <functional>

#include "onewire/reading_verdict.h"

namespace kv {

// A conversion started longer ago than this when its device is read is not used: the program
// may have been stopped, or the machine suspended, in between. Far above the time a pass of
// readings takes after its conversion on a slow adapter (about 50 ms a device).
inline constexpr int64_t StaleConversionMs = 10'000;
// A failed transaction or a spoiled scratchpad is read this often before it counts.
inline constexpr int32_t ReadAttempts = 2;

// Waits the given milliseconds; false when the wait was cut short because the caller has
// to stop.
using MeasureWait = std::function<bool(int32_t milliseconds)>;

class ThermometerReader {
  public:
    ThermometerReader(int32_t port, MeasureWait wait) : port_(port), wait_(std::move(wait)) {}

    // Convert T for every device (rom nullptr, Skip ROM) or for one (Match ROM); 0 with the
    // calling thread's result code when the bus failed.
    int convert(const uint8_t* rom);

    // One thermometer's reading after a conversion (of it alone, or of all). A conversion
    // older than StaleConversionMs, or none, is made again the way the last one was, and
    // waited for. A failed or spoiled read is tried once more. A power-on value is confirmed:
    // the device alone converts again, is waited for and read.
    Reading read(const RomCode& rom);

  private:
    bool fresh(const RomCode& rom) const;
    void readScratchpad(Reading& reading, bool confirming);

    static constexpr int64_t Never = -1;

    int32_t port_;
    MeasureWait wait_;
    // The last conversions, on the suspend-counting clock: of every device, and of one alone.
    bool lastForAll_ = true;
    int64_t allConvertedAt_ = Never;
    RomCode oneConverted_{};
    int64_t oneConvertedAt_ = Never;
};

}  // namespace kv
