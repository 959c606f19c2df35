// One simulated 1-Wire device as the bus sees it, bit slot by bit slot: the ROM-command
// layer every device has, and the DS18B20 / DS18S20 function commands on top of it.
#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "onewire/search.h"
#include "onewire/thermometer_origins.h"

namespace kv {

// A ROM code with its CRC byte computed; serial is the 48-bit serial number.
RomCode SimMakeRom(uint8_t family, uint64_t serial);
// 16 hex digits in bus order (family first) are taken as they stand, wrong CRC and all;
// 14 digits get their CRC byte appended. false for anything else.
bool SimParseRom(const char* text, RomCode& rom);
uint8_t SimCrc8(const uint8_t* data, int length);

// Power-on register values of the two thermometer families (85 °C).
inline constexpr int16_t SimPowerOnRawDs18b20 = 0x0550;
inline constexpr int16_t SimPowerOnRawDs18s20 = 0x00AA;

// What sets one make of thermometer apart from another on the bus. The defaults are the
// datasheet's part at its limits.
struct SimPart {
    // A conversion at 12 bits (DS18B20) or at the DS18S20's one resolution, and how each bit
    // less shortens it.
    int64_t conversionUs = 750'000;
    ResolutionScaling scaling = ResolutionScaling::Halves;
    // Read slots during a conversion: 0 from the start, from busyDelayUs after the command
    // (Late), or never (None).
    BusySignal busy = BusySignal::AtOnce;
    int64_t busyDelayUs = 0;
    bool resolutionHonoured = true;  // false: configuration writes are ignored, always 12 bits
    // false: on parasite power the part answers Read Power Supply as if it had its own
    // supply, and a conversion browns it out (it starts again from its power-on state).
    bool parasiteCapable = true;
    bool hasEeprom = true;    // false: Recall E2 leaves the scratchpad as it is
    bool writeFault = false;  // the third byte of Write Scratchpad lands in byte 6 as well
    std::optional<int16_t> powerOnRaw;  // the register at power-on; the family's 85 °C if empty
    CountRemain byte6 = CountRemain::Sixteenths;  // DS18B20; a DS18S20 always counts
    uint8_t byte6PowerOn = 0x0C;
    uint8_t byte5 = 0xFF;
    uint8_t byte7 = 0x10;  // COUNT_PER_C on the datasheet's part
};

class SimDevice {
  public:
    // The family byte decides the behaviour: 0x28 and 0x10 are thermometers, any other
    // family answers ROM commands only.
    explicit SimDevice(const RomCode& rom);

    const RomCode& rom() const { return rom_; }
    bool isThermometer() const;

    // What the next conversion measures. setTemperature rounds to the family's step;
    // setRawTemperature stores exactly that register value (out-of-range values included).
    void setTemperature(double celsius);
    void setRawTemperature(int16_t raw);
    // A slow sine wave around the set value (for demos): amplitude in °C, period in ms.
    void setDrift(double amplitudeCelsius, int64_t periodMilliseconds);
    void setParasite(bool parasite);
    bool parasite() const;
    // DS18B20 only: 9 to 12 bits, as if stored in the part's EEPROM; decides the conversion
    // time (93.75 ms to 750 ms).
    void setResolution(int bits);
    // The scratchpad's CRC byte is sent wrong.
    void setCorruptScratchpadCrc(bool corrupt);
    // The make of the part; it starts again from that part's power-on state.
    void setPart(const SimPart& part);
    // The scratchpad as the part would send it now, and its EEPROM's TH, TL and
    // configuration: what a test compares before and after.
    std::vector<uint8_t> scratchpadNow();
    std::vector<uint8_t> eepromNow() const;
    int conversions() const;
    // Every temperature register value a conversion of this part has produced: what it
    // really measured, against which a reading can be checked.
    std::set<int16_t> convertedRaws() const;

    // --- the bus side, called by SimBus with the slot's time ---
    void busReset();
    void powerLost();  // the adapter went unpowered: a parasite-powered part forgets all
    void powerOn();    // plugged (back) in: registers at their power-on values
    // Whether the device pulls a read slot low in the slot that starts now.
    bool pullsSlotLow(int64_t nowMicroseconds);
    // The level the device sampled in that slot (after every device had its say).
    void slotDone(bool level, int64_t nowMicroseconds);

  private:
    enum class Phase {
        Idle,
        RomCommand,
        ReadRom,
        MatchRom,
        SearchRom,
        Function,
        Transmit,
        PowerAnswer,
        Converting,
        WriteScratchpad
    };

    void startTransmit(std::vector<uint8_t> bytes);
    void functionCommand(uint8_t command, int64_t now);
    void settleConversion(int64_t now);
    void powerOnRegisters();
    int64_t conversionTime() const;
    std::vector<uint8_t> scratchpad(int64_t now);
    int16_t rawFor(double celsius) const;
    double measured(int64_t atMicroseconds) const;
    bool romBit(int index) const { return (rom_[index / 8] >> (index % 8)) & 1; }

    mutable std::mutex mutex_;
    const RomCode rom_;
    // settings
    double celsius_ = 20.0;
    bool exactRaw_ = false;
    int16_t setRaw_ = 0;
    double driftAmplitude_ = 0.0;
    int64_t driftPeriodMs_ = 0;
    bool parasite_ = false;
    bool corruptCrc_ = false;
    SimPart part_;
    // EEPROM: what the scratchpad's TH, TL and configuration start from at power-on
    uint8_t eepromTh_ = 0x4B, eepromTl_ = 0x46;
    int eepromResolution_ = 12;
    // registers
    uint8_t th_ = 0x4B, tl_ = 0x46;
    int resolution_ = 12;
    int16_t register_;
    int countRemain_;
    int conversions_ = 0;
    bool converting_ = false;
    int64_t conversionStart_ = 0;
    int64_t conversionEnd_ = 0;
    double sampledCelsius_ = 0.0;  // what the conversion under way measured
    int16_t sampledRaw_ = 0;
    std::set<int16_t> convertedRaws_;
    // protocol state
    Phase phase_ = Phase::Idle;
    int bit_ = 0;         // bits handled in the current phase
    int searchStep_ = 0;  // 0 send bit, 1 send complement, 2 take the direction
    uint32_t shift_ = 0;  // bits received so far, least significant first
    std::vector<uint8_t> out_;
    std::vector<uint8_t> received_;
};

}  // namespace kv
