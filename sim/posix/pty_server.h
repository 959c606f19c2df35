// Serves a simulated bus on a pseudo-terminal, so that a client opens it like a real serial
// port and goes through the kernel's tty layer. The client's speed is read from the master
// side (on Linux the master reports the slave's termios) each time bytes arrive.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/sim_bus.h"

namespace kv {

class PtyServer {
  public:
    explicit PtyServer(std::shared_ptr<SimBus> bus);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal and attaches the bus; false with a reason on failure.
    bool open(std::string* error = nullptr);
    const std::string& slavePath() const { return slavePath_; }

    // Called on the serving thread with the MicrosecondClock time and the count of every
    // batch of bytes the client writes; set before serving.
    void watchBytes(std::function<void(int64_t microseconds, int count)> watcher) {
        watcher_ = std::move(watcher);
    }

    // Serves until stop(): in the calling thread, or on a thread of its own.
    void serve();
    bool start();
    void stop();

    struct Stats {
        int64_t roundTrips = 0;  // bursts that arrived while no echo was outstanding
        int64_t bytes = 0;
        int64_t resetBytes = 0;
        int64_t wireMicroseconds = 0;  // sum of the bytes' wire times at the speeds they came at
        int64_t droppedEchoes = 0;     // echoes the client's side had no room for
        int lastBaud = 0;
    };
    Stats stats() const;
    void resetStats();

  private:
    int clientBaud() const;
    void takeBytes();
    void deliverEchoes();

    std::shared_ptr<SimBus> bus_;
    std::unique_ptr<SerialDevice> port_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::function<void(int64_t, int)> watcher_;
    mutable std::mutex statsMutex_;
    Stats stats_;
};

}  // namespace kv
