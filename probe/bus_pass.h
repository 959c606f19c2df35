// The probe's work on the bus: finding the devices, setting the thermometers' resolution,
// and one pass of the measuring engine over them.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "onewire/enumerate.h"
#include "onewire/measuring.h"

namespace kv::probe {

struct Device {
    RomCode rom{};
    const char* power = "error";
    int resolution = 0;     // DS18B20 bits as set by --resolution; 0 when not known
    bool answered = false;  // a reading of it has passed its CRC: it is a real sensor
};

// What one thermometer gave in one pass, with what the outputs add to it.
struct Reading : kv::Reading {
    const char* power = "error";
    std::chrono::system_clock::time_point time;
    std::string name;  // the user's name for the sensor, empty for none

    bool passed() const { return ok(); }
    std::string state() const { return ReadingStateName(*this); }
};

struct Pass {
    bool sound = true;              // false when the conversion failed (a message was printed)
    bool interrupted = false;       // a stop cut the conversion wait: nothing was read
    std::vector<Reading> readings;  // thermometers in search order
    double seconds = 0.0;           // from the conversion to the last reading
};

class BusSession {
  public:
    BusSession(int32_t port, std::string portName);

    // Searches the bus as the window does (a spoiled search is made again at once) and asks
    // every device how it is powered; true when the list is the whole bus. The search ends
    // by itself (the last device, the device limit, a failure that its retries did not
    // mend) or on a stop, never on a clock: on a slow adapter it takes what it takes.
    bool find();
    // Brings the list in line with a search made while running: the devices keep their
    // order, newcomers come behind them. After a whole search a device it did not find goes,
    // unless it is a thermometer that has answered: that one stays, and its readings say it
    // is gone. A spoiled search only adds newcomers whose ROM code passes its CRC. Returns
    // how many came.
    int update(const Enumeration& found);
    const std::vector<Device>& devices() const { return devices_; }
    std::vector<RomCode> roms() const;
    bool anyThermometer() const;

    // Writes the resolution into every DS18B20 that does not have it yet (and its EEPROM when
    // asked); a part that does not take it is reported and measured with the full conversion
    // time.
    void setResolution(int bits, bool save);

    // One conversion of all thermometers, the wait it needs, and every reading.
    Pass measure();

  private:
    void askPower(Device& d);
    int32_t conversionWaitMs() const;

    int32_t port_;
    std::string name_;
    std::vector<Device> devices_;
    ThermometerReader reader_;
};

// Sleeps the given milliseconds; false when a stop signal ended the wait early.
bool WaitUnlessStopped(int32_t milliseconds);

// Text forms shared by the outputs.
const char* FamilyName(uint8_t family);
void Message(const std::string& text);
// Why the port could not be opened, from the bus's last result.
std::string CannotOpenText(const std::string& port);

}  // namespace kv::probe
