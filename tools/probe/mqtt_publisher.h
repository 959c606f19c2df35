// Hands readings to an MQTT broker. The network runs on the client library's own thread:
// the bus thread only queues messages and never waits for the broker, which may come and
// go (the client reconnects with a growing delay and then announces everything again).
#pragma once
#include <memory>
#include <string>

#include "onewire/search.h"

namespace kv::probe {

struct MqttSettings {
    std::string host;
    int port = 0;
    std::string user;
    std::string password;  // used only with a user
    std::string prefix;
};

// false when this build has no MQTT client (the library was missing when it was built).
bool MqttAvailable();

class MqttPublisher {
  public:
    MqttPublisher();
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Sets up the client and starts connecting; a broker that is not there yet is not a
    // failure (it is tried again). false with a message when the client cannot be made.
    bool start(const MqttSettings& settings, std::string& error);

    // The Home Assistant config of a thermometer, once per start (and after reconnects).
    void announce(const RomCode& rom);
    // A reading that passed its checks, as plain degrees.
    void publish(const RomCode& rom, const std::string& celsius);

    // Says offline (waiting a little for the broker to take it) and disconnects.
    void stop();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace kv::probe
