#include "probe/mqtt_publisher.h"

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "probe/messages.h"
#include "probe/mqtt_topics.h"

namespace kv::probe {
namespace {

constexpr int KeepAliveSeconds = 30;
// The reconnect delay doubles from the first value up to the second.
constexpr unsigned ReconnectFirstSeconds = 1;
constexpr unsigned ReconnectMaxSeconds = 30;
// Readings are repeated every pass: one lost on the way is replaced by the next. What is
// kept is rare and must arrive.
constexpr int ReadingQos = 0;
constexpr int KeptQos = 1;
// How long a clean end waits for the broker to take the offline status.
constexpr auto OfflineWait = std::chrono::seconds(2);

struct LibraryUse {
    LibraryUse() { mosquitto_lib_init(); }
    ~LibraryUse() { mosquitto_lib_cleanup(); }
};

}  // namespace

bool MqttAvailable() {
    return true;
}

struct MqttPublisher::State {
    LibraryUse library;
    MqttSettings settings;
    mosquitto* client = nullptr;
    bool loopRunning = false;

    // The bus thread and the network thread meet here.
    std::mutex mutex;
    bool connected = false;
    bool outageReported = false;
    std::string status = StatusOnline;
    std::map<std::string, std::string> kept;  // by topic
    int offlineMid = -1;
    bool offlineDelivered = false;
    std::condition_variable offlineDone;  // also: connected, or known to be away

    int send(const std::string& topic, const std::string& payload, int qos, int* mid = nullptr) {
        return mosquitto_publish(client, mid, topic.c_str(), static_cast<int>(payload.size()),
                                 payload.data(), qos, true);
    }

    // After every connection: the broker may have restarted and lost what it retained.
    void connectedLocked() {
        send(settings.statusTopic, status, KeptQos);
        for (const auto& [topic, payload] : kept) send(topic, payload, KeptQos);
    }

    static void OnConnect(mosquitto*, void* self, int code) {
        auto* state = static_cast<State*>(self);
        std::lock_guard<std::mutex> lock(state->mutex);
        if (code != 0) {
            Message("the MQTT broker " + state->settings.host +
                    " refused the connection: " + mosquitto_connack_string(code));
            state->outageReported = true;
            state->offlineDone.notify_all();
            return;
        }
        state->connected = true;
        state->offlineDone.notify_all();
        if (state->outageReported) Message("connected to the MQTT broker again");
        state->outageReported = false;
        state->connectedLocked();
    }

    static void OnDisconnect(mosquitto*, void* self, int code) {
        auto* state = static_cast<State*>(self);
        std::lock_guard<std::mutex> lock(state->mutex);
        state->connected = false;
        if (code != 0 && !state->outageReported) {
            Message("lost the MQTT broker " + state->settings.host + "; trying again");
            state->outageReported = true;
        }
        state->offlineDone.notify_all();
    }

    static void OnPublish(mosquitto*, void* self, int mid) {
        auto* state = static_cast<State*>(self);
        std::lock_guard<std::mutex> lock(state->mutex);
        if (mid == state->offlineMid) {
            state->offlineDelivered = true;
            state->offlineDone.notify_all();
        }
    }
};

MqttPublisher::MqttPublisher() : state_(std::make_unique<State>()) {}

MqttPublisher::~MqttPublisher() {
    stop();
    if (state_->client) mosquitto_destroy(state_->client);
}

bool MqttPublisher::start(const MqttSettings& settings, std::string& error) {
    State& s = *state_;
    s.settings = settings;
    // A generated client id and a clean session: nothing is kept at the broker for a probe
    // that is gone, except the retained messages and the will.
    s.client = mosquitto_new(nullptr, true, &s);
    if (!s.client) {
        error = "cannot create the MQTT client";
        return false;
    }
    mosquitto_connect_callback_set(s.client, State::OnConnect);
    mosquitto_disconnect_callback_set(s.client, State::OnDisconnect);
    mosquitto_publish_callback_set(s.client, State::OnPublish);
    mosquitto_reconnect_delay_set(s.client, ReconnectFirstSeconds, ReconnectMaxSeconds, true);
    const std::string& statusTopic = settings.statusTopic;
    int rc = mosquitto_will_set(s.client, statusTopic.c_str(),
                                static_cast<int>(sizeof StatusOffline - 1), StatusOffline, KeptQos,
                                true);
    if (rc == MOSQ_ERR_SUCCESS && !settings.user.empty())
        rc = mosquitto_username_pw_set(s.client, settings.user.c_str(), settings.password.c_str());
    if (rc != MOSQ_ERR_SUCCESS) {
        error = std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc);
        return false;
    }
    rc = mosquitto_connect_async(s.client, settings.host.c_str(), settings.port, KeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        // The network thread keeps trying; say so once.
        Message("cannot reach the MQTT broker " + settings.host + ":" +
                std::to_string(settings.port) + " (" + mosquitto_strerror(rc) + "); trying again");
        std::lock_guard<std::mutex> lock(s.mutex);
        s.outageReported = true;
    }
    rc = mosquitto_loop_start(s.client);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = std::string("cannot start the MQTT client: ") + mosquitto_strerror(rc);
        return false;
    }
    s.loopRunning = true;
    return true;
}

void MqttPublisher::status(const std::string& payload) {
    State& s = *state_;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (payload == s.status) return;
    s.status = payload;
    if (s.connected) s.send(s.settings.statusTopic, payload, KeptQos);
}

void MqttPublisher::keep(const std::string& topic, const std::string& payload) {
    State& s = *state_;
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto known = s.kept.find(topic);
    if (known != s.kept.end() && known->second == payload) return;
    s.kept[topic] = payload;
    if (s.connected) s.send(topic, payload, KeptQos);
}

void MqttPublisher::publish(const std::string& topic, const std::string& payload) {
    State& s = *state_;
    if (!s.client) return;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.connected && s.send(topic, payload, ReadingQos) == MOSQ_ERR_SUCCESS) {
        s.kept.erase(topic);
    } else {
        s.kept[topic].clear();
    }
}

void MqttPublisher::stop() {
    State& s = *state_;
    if (!s.loopRunning) return;
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        // A short run may end before the first connection is made: give it the time, so
        // that its readings go out, unless the broker is already known to be away.
        if (!s.outageReported)
            s.offlineDone.wait_for(lock, OfflineWait,
                                   [&] { return s.connected || s.outageReported; });
        if (s.connected) {
            s.offlineDelivered = false;
            if (s.send(s.settings.statusTopic, StatusOffline, KeptQos, &s.offlineMid) ==
                MOSQ_ERR_SUCCESS)
                s.offlineDone.wait_for(lock, OfflineWait, [&] { return s.offlineDelivered; });
        }
    }
    mosquitto_disconnect(s.client);
    mosquitto_loop_stop(s.client, false);
    s.loopRunning = false;
}

}  // namespace kv::probe
