// A simulated passive 1-Wire adapter and its bus, at the level of echoed UART bytes: every
// byte written comes back as the line looked while it was sent at the current baud rate,
// shaped by the devices (wired-AND) and by whatever faults the bus is given.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "serial/serial_device.h"
#include "sim/sim_device.h"

namespace kv {

// Time one byte occupies the wire: 10 bit times (start, 8 data, stop).
int64_t SimByteMicroseconds(int baud);

// Thread-safe: a worker may run the bus while a test changes devices and faults. The bus
// reads the clock before it takes its lock, so a time source may itself act on the bus.
class SimBus : public std::enable_shared_from_this<SimBus> {
  public:
    explicit SimBus(uint64_t seed = 1);

    // --- devices ---
    std::shared_ptr<SimDevice> addDevice(const RomCode& rom);
    // A DS18B20 or DS18S20, as the ROM code's family byte says.
    std::shared_ptr<SimDevice> addThermometer(const RomCode& rom, double celsius,
                                              bool parasite = false);
    // Plugged (back) in while running; the device starts at its power-on state.
    void plug(std::shared_ptr<SimDevice> device);
    bool unplug(const RomCode& rom);  // false when no such device is on the bus
    void clearDevices();
    std::vector<std::shared_ptr<SimDevice>> devices() const;
    std::shared_ptr<SimDevice> device(const RomCode& rom) const;

    // --- the adapter and the line ---
    void setAdapterPresent(bool present);          // false: the port opens but nothing ever echoes
    void setStuckLow(bool stuck);                  // every echo 0x00, the reset's included
    void setNoise(double flipProbability);         // each echoed bit flips with this probability
    void setSeed(uint64_t seed);                   // makes noise and stray bytes reproducible
    void setStrayProbability(double probability);  // an extra byte after an echo
    void injectStray(std::span<const uint8_t> bytes);  // bytes that arrive at once, unasked
    // A USB converter: echoes are held in packets of UsbPacketBytes, each handed over when
    // it fills or when this long has passed since its first echo arrived.
    void setEchoLatencyMicroseconds(int64_t latency);
    void setEchoBudget(int64_t bytes);  // echoes stop after this many more bytes; -1: never
    // A converter that stalls once: the echo `afterEchoes` echoes from now (0: the next one)
    // is handed over `heldMicroseconds` after its byte has left the wire instead of with its
    // packet, and the echoes behind it, in order, no sooner.
    void holdEcho(int64_t afterEchoes, int64_t heldMicroseconds);
    void setWireTime(bool emulate);  // echoes appear only after the byte's wire time
    // Level of DTR and RTS that powers the adapter (high unless the wiring inverts it).
    void setPoweredLevel(bool high);
    // false: the adapter counts as powered whatever the lines say (a pseudo-terminal has
    // no modem lines to watch).
    void setPowerSensing(bool sensing);

    // --- the port side: one attachment at a time, like an exclusively opened port ---
    std::unique_ptr<SerialDevice> attach();  // nullptr while another attachment is open
    bool attached() const;
    void detach();
    void configure(int baud);
    void setLine(int line, bool level);
    int write(const uint8_t* data, int count);
    int read(uint8_t* data, int count);  // only echoes that are already visible
    int inputCount();
    // Sleeps (on the installed time source) until `count` echoes are visible or the time
    // is up; returns the visible count.
    int waitInput(int count, int timeoutMs);
    // When the next echo not yet visible becomes visible; -1 when none is pending.
    int64_t nextEchoDueMicroseconds() const;
    // When the last echo written so far becomes visible; -1 when none is pending.
    int64_t lastEchoDueMicroseconds() const;
    void dropInput();

    int baud() const;
    bool lineLevel(int line) const;
    bool powered() const;

    struct Stats {
        int64_t writes = 0;            // write calls (round trips of the client)
        int64_t bytes = 0;             // bytes written at any speed
        int64_t resetBytes = 0;        // bytes that drove a reset pulse
        int64_t wireMicroseconds = 0;  // sum of the written bytes' wire times
    };
    Stats stats() const;
    void resetStats();

    // What went onto the line, byte by byte with the speed it went at, while recording.
    struct WireByte {
        uint8_t byte;
        int baud;
        bool operator==(const WireByte&) const = default;
    };
    void recordWire(bool on);  // starts a fresh record, or stops recording
    std::vector<WireByte> wire() const;

  private:
    struct Echo {
        uint8_t byte;
        int64_t visibleAt;
    };
    uint8_t lineEcho(uint8_t sent, int64_t start);
    bool poweredLocked() const;
    void applyLines(bool dtr, bool rts);
    int visibleCountLocked(int64_t now) const;
    void queueEchoLocked(uint8_t byte, int64_t arrived);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SimDevice>> devices_;
    std::mt19937_64 random_;
    bool adapterPresent_ = true;
    bool stuckLow_ = false;
    double noise_ = 0.0;
    double stray_ = 0.0;
    int64_t latency_ = 0;
    int64_t packetDue_ = 0;  // when the timer sends the packet being filled
    int packetFill_ = 0;     // echoes in that packet, the last ones of input_
    int64_t echoBudget_ = -1;
    int64_t holdCountdown_ = -1;  // echoes before the held one; -1: none is held
    int64_t holdUs_ = 0;
    int64_t heldUntil_ = 0;  // no echo is handed over before this (the held one's time)
    bool recording_ = false;
    std::vector<WireByte> wire_;
    bool wireTime_ = false;
    bool poweredLevel_ = true;
    bool powerSensing_ = true;
    bool attached_ = false;
    int baud_ = 9600;
    bool dtr_ = false, rts_ = false, break_ = false;
    int64_t lineFree_ = 0;
    std::deque<Echo> input_;
    Stats stats_;
};

// Payload of a full-speed FTDI packet (64 bytes, two of them modem status).
inline constexpr int UsbPacketBytes = 62;

// Makes the bus openable under a port name ("BUS1") through the serial layer.
void SimRegisterBus(std::u16string_view name, std::shared_ptr<SimBus> bus);

}  // namespace kv
