// The probe's work on the bus: finding the devices, setting the thermometers' resolution,
// and one pass that converts all thermometers at once and reads and checks each of them.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "onewire/search.h"

namespace kv::probe {

struct Device {
    RomCode rom{};
    const char* power = "error";
    bool romCrcOk = true;
    int resolution = 0;  // DS18B20 bits as set by --resolution; 0 when not known
};

// What one thermometer gave in one pass.
struct Reading {
    RomCode rom{};
    const char* power = "error";
    std::chrono::system_clock::time_point time;
    bool scratchpadRead = false;  // a temperature was decoded (it may still have failed)
    float celsius = 0.0f;
    int resolution = 0;       // DS18B20 bits from the scratchpad; 0 for the DS18S20 or unread
    std::string state = "-";  // "ok" when the reading passed every check

    bool passed() const { return state == StateOk; }
    static constexpr char StateOk[] = "ok";
};

struct Pass {
    bool sound = true;              // false when the bus failed (a message has been printed)
    std::vector<Reading> readings;  // thermometers in search order
    double seconds = 0.0;           // from the conversion to the last reading
};

class BusSession {
  public:
    BusSession(int32_t port, std::string portName) : port_(port), name_(std::move(portName)) {}

    // Searches the bus and asks every device how it is powered; false when the bus failed.
    bool find();
    const std::vector<Device>& devices() const { return devices_; }
    bool anyThermometer() const;

    // Writes the resolution into every DS18B20 (and its EEPROM when asked); a part that
    // does not take it is reported and measured with the full conversion time.
    void setResolution(int bits, bool save);

    // One conversion of all thermometers, the wait it needs, and every reading.
    Pass measure();

  private:
    bool lineLooksShorted();
    int32_t conversionWaitMs() const;

    int32_t port_;
    std::string name_;
    std::vector<Device> devices_;
};

// Text forms shared by the outputs.
std::string RomHex(const RomCode& rom);
const char* FamilyName(uint8_t family);
std::string ResultName(int32_t code);
void Message(const std::string& text);

}  // namespace kv::probe
