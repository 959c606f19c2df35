#include "mqtt_broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace kv::test {
namespace {

using namespace std::chrono_literals;
// A broker that does not listen by then did not start.
constexpr auto StartLimit = 10s;

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool Listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

struct Library {
    Library() { mosquitto_lib_init(); }
    ~Library() { mosquitto_lib_cleanup(); }
};
Library library;

}  // namespace

bool MosquittoInstalled() {
    return ::access(MosquittoPath, X_OK) == 0;
}

MqttBroker::MqttBroker() {
    char pattern[] = "/tmp/kv-broker-XXXXXX";
    if (::mkdtemp(pattern)) folder_ = pattern;
}

MqttBroker::~MqttBroker() {
    stop();
    std::error_code error;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
}

bool MqttBroker::start() {
    if (folder_.empty() || pid_ > 0) return false;
    if (port_ == 0) port_ = FreeLoopbackPort();
    const std::string config = folder_ + "/mosquitto.conf";
    {
        std::ofstream file(config);
        file << "listener " << port_ << " 127.0.0.1\n"
             << "allow_anonymous true\n"
             << "persistence false\n";
    }
    const std::string log = folder_ + "/broker.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const char* argv[] = {MosquittoPath, "-c", config.c_str(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, MosquittoPath, &actions, nullptr,
                                    const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Listening(port_)) return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // it gave up, say on a taken port
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    stop();
    return false;
}

void MqttBroker::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

MqttSubscriber::MqttSubscriber() : client_(mosquitto_new(nullptr, true, this)) {
    if (!client_) return;
    mosquitto_message_callback_set(client_, OnMessage);
    mosquitto_subscribe_callback_set(client_, OnSubscribe);
}

MqttSubscriber::~MqttSubscriber() {
    if (!client_) return;
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
}

bool MqttSubscriber::connect(int port) {
    if (!client_) return false;
    if (mosquitto_connect(client_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) return false;
    if (mosquitto_subscribe(client_, nullptr, "#", 1) != MOSQ_ERR_SUCCESS) return false;
    if (mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, StartLimit, [&] { return subscribed_; });
}

void MqttSubscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    std::lock_guard<std::mutex> lock(subscriber->mutex_);
    subscriber->subscribed_ = true;
    subscriber->arrived_.notify_all();
}

void MqttSubscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    std::lock_guard<std::mutex> lock(subscriber->mutex_);
    subscriber->messages_.push_back({message->topic,
                                     std::string(static_cast<const char*>(message->payload),
                                                 static_cast<size_t>(message->payloadlen)),
                                     message->retain, std::chrono::steady_clock::now()});
    subscriber->last_ = std::chrono::steady_clock::now();
    subscriber->arrived_.notify_all();
}

std::vector<MqttMessage> MqttSubscriber::messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void MqttSubscriber::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

bool MqttSubscriber::waitFor(const std::function<bool(const MqttMessage&)>& condition,
                             std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] {
        for (const MqttMessage& m : messages_)
            if (condition(m)) return true;
        return false;
    });
}

void MqttSubscriber::settle(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lock(mutex_);
    last_ = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        const auto quietUntil = last_ + quiet;
        if (std::chrono::steady_clock::now() >= quietUntil) return;
        arrived_.wait_until(lock, std::min(quietUntil, deadline));
    }
}

std::map<std::string, MqttMessage> RetainedMessages(int port) {
    // Long enough for the broker to hand over all it retains.
    constexpr std::chrono::milliseconds Quiet = 500ms, Limit = 5s;
    MqttSubscriber late;
    std::map<std::string, MqttMessage> byTopic;
    if (!late.connect(port)) return byTopic;
    late.settle(Quiet, Limit);
    for (const MqttMessage& m : late.messages()) byTopic[m.topic] = m;
    return byTopic;
}

}  // namespace kv::test
