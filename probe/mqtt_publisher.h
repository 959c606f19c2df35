// Hands messages to an MQTT broker. The network runs on the client library's own thread:
// the bus thread only queues messages and never waits for the broker, which may come and
// go (the client reconnects with a growing delay). Every message is retained. What stays
// true until it is replaced (the status, discovery configs, availabilities, a withdrawn
// reading) is kept and sent again after every connection, since a restarted broker may
// have lost it; a reading is sent once, while connected, and never again from memory.
#pragma once
#include <memory>
#include <string>

namespace kv::probe {

struct MqttSettings {
    std::string host;
    int port = 0;
    std::string user;
    std::string password;     // used only with a user
    std::string statusTopic;  // this logger's status, also its last will
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

    // The probe's status on its status topic, the first message of every connection. This and
    // keep() may be called before start(): the first connection sends what they set.
    void status(const std::string& payload);
    // A message that stays true until replaced; an empty payload withdraws what the broker
    // retains on the topic.
    void keep(const std::string& topic, const std::string& payload);
    // A reading, now or not at all. One that cannot go out now withdraws, at the next
    // connection, whatever older value the broker still holds on the topic.
    void publish(const std::string& topic, const std::string& payload);

    // Says offline (waiting a little for the broker to take it) and disconnects.
    void stop();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace kv::probe
