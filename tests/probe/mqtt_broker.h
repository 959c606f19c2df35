// A real mosquitto broker for the probe's MQTT tests, on a loopback port of its own, and a
// subscriber that records what the broker delivers.
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kv::test {

// Where the Debian package puts the broker.
inline constexpr char MosquittoPath[] = "/usr/sbin/mosquitto";
bool MosquittoInstalled();
// Why a test that needs the broker is skipped.
inline constexpr char MosquittoMissing[] =
    "mosquitto is not installed at /usr/sbin/mosquitto (bash tools/setup.sh installs it)";

class MqttBroker {
  public:
    MqttBroker();
    ~MqttBroker();  // stops the broker and removes its files
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    // Starts on a free 127.0.0.1 port (the same port again after a stop); false on failure.
    bool start();
    void stop();
    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    int port_ = 0;
    int pid_ = -1;
    std::string folder_;
};

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retained = false;
    std::chrono::steady_clock::time_point at;  // when it arrived
};

// Subscribes to everything. A subscriber that connects after the probe has published sees
// exactly what the broker retains, each with its retained flag.
class MqttSubscriber {
  public:
    MqttSubscriber();
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    bool connect(int port);
    std::vector<MqttMessage> messages();
    // Waits until a message satisfies the condition; false when the limit passed first.
    bool waitFor(const std::function<bool(const MqttMessage&)>& condition,
                 std::chrono::milliseconds limit);
    // Waits until no message has come for the quiet time (or the limit passed).
    void settle(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);
    void clear();

  private:
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<MqttMessage> messages_;
    std::chrono::steady_clock::time_point last_;
    bool subscribed_ = false;
};

// What a subscriber that comes now is given: the retained messages, by topic.
std::map<std::string, MqttMessage> RetainedMessages(int port);

}  // namespace kv::test
