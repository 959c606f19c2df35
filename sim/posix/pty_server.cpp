#include "sim/posix/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "runtime/clock.h"

namespace kv {
namespace {

constexpr int IdlePollMs = 200;   // how often an idle server looks at its stop flag
constexpr int HangupRetryMs = 5;  // no client has the slave open: look again soon
constexpr size_t ChunkBytes = 4096;
// Like a UART's receive FIFO, echoes are handed over in batches: when the last one written
// so far is due, or when the oldest has waited this long. The client sees the same bytes at
// the same times that matter to it, at a fraction of the wake-ups.
constexpr int64_t FifoHoldMicroseconds = 1000;

struct SpeedEntry {
    speed_t code;
    int baud;
};
constexpr SpeedEntry Speeds[] = {
    {B300, 300},     {B600, 600},       {B1200, 1200},     {B2400, 2400},
    {B4800, 4800},   {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
};

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

PtyServer::PtyServer(std::shared_ptr<SimBus> bus) : bus_(std::move(bus)) {}

PtyServer::~PtyServer() {
    stop();
    if (master_ >= 0) ::close(master_);
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

bool PtyServer::open(std::string* error) {
    if (port_) return true;
    // A failed attempt leaves no terminal behind, so that a later one starts afresh.
    auto fail = [&](const std::string& why) {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
        slavePath_.clear();
        if (error) *error = why;
        return false;
    };
    if (wake_[0] < 0 && ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail(ErrnoText("pipe"));
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return fail(ErrnoText("posix_openpt"));
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail(ErrnoText("unlockpt"));
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) return fail(ErrnoText("ptsname"));
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Raw from the start, so that nothing the server sends is echoed or translated even
    // before the client sets the port up.
    termios tio{};
    if (::tcgetattr(master_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B9600);
        ::tcsetattr(master_, TCSANOW, &tio);
    }
    port_ = bus_->attach();
    if (!port_) return fail("the simulated bus is already attached elsewhere");
    bus_->setPowerSensing(false);  // a pseudo-terminal carries no modem lines
    return true;
}

int PtyServer::clientBaud() const {
    termios tio{};
    if (::tcgetattr(master_, &tio) != 0) return 0;
    const speed_t code = ::cfgetospeed(&tio);
    for (const SpeedEntry& s : Speeds)
        if (s.code == code) return s.baud;
    return 0;
}

void PtyServer::takeBytes() {
    uint8_t buffer[ChunkBytes];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) return;
        if (watcher_) watcher_(MicrosecondClock(), static_cast<int>(n));
        const int baud = clientBaud();
        const bool newTrip = bus_->nextEchoDueMicroseconds() < 0;
        const SimBus::Stats before = bus_->stats();
        if (baud > 0) port_->configure(baud, 8, 0, 1.0);
        port_->write(buffer, static_cast<int>(n));
        const SimBus::Stats after = bus_->stats();
        std::lock_guard<std::mutex> lock(statsMutex_);
        if (newTrip) ++stats_.roundTrips;
        stats_.bytes += n;
        stats_.resetBytes += after.resetBytes - before.resetBytes;
        stats_.wireMicroseconds += after.wireMicroseconds - before.wireMicroseconds;
        stats_.lastBaud = bus_->baud();
    }
}

void PtyServer::deliverEchoes() {
    const int count = port_->inputCount();
    if (count <= 0) return;
    std::vector<uint8_t> echoes(static_cast<size_t>(count));
    const int n = port_->read(echoes.data(), count);
    size_t done = 0;
    while (done < static_cast<size_t>(n)) {
        const ssize_t w = ::write(master_, echoes.data() + done, static_cast<size_t>(n) - done);
        if (w <= 0) break;  // the client side is full or gone: the rest is lost, as on a UART
        done += static_cast<size_t>(w);
    }
    if (done < static_cast<size_t>(n)) {
        std::lock_guard<std::mutex> lock(statsMutex_);
        stats_.droppedEchoes += static_cast<int64_t>(n) - static_cast<int64_t>(done);
    }
}

void PtyServer::serve() {
    if (!port_) return;
    // Echoes are due every 87 us at 115200 baud; the default timer slack of 50 us would
    // add up to most of that again to each wake-up.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // When the pending echoes are to be handed over; -1 when none are pending.
    auto handOver = [this]() -> int64_t {
        const int64_t first = bus_->nextEchoDueMicroseconds();
        if (first < 0) return -1;
        return std::min(bus_->lastEchoDueMicroseconds(), first + FifoHoldMicroseconds);
    };
    while (!stopping_.load()) {
        const int64_t due = handOver();
        timespec timeout{};
        if (due < 0) {
            timeout.tv_sec = IdlePollMs / 1000;
            timeout.tv_nsec = (IdlePollMs % 1000) * 1'000'000L;
        } else {
            const int64_t wait = std::max<int64_t>(0, due - MicrosecondClock());
            timeout.tv_sec = static_cast<time_t>(wait / 1'000'000);
            timeout.tv_nsec = static_cast<long>(wait % 1'000'000) * 1000L;
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int ready = ::ppoll(fds, 2, &timeout, nullptr);
        if (ready < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            char drain[16];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) takeBytes();
        if ((fds[0].revents & POLLHUP) && !(fds[0].revents & POLLIN)) {
            // No client holds the slave open: whatever was on its way is gone.
            bus_->dropInput();
            ::usleep(HangupRetryMs * 1000);
            continue;
        }
        const int64_t next = handOver();
        if (next >= 0 && MicrosecondClock() >= next) deliverEchoes();
    }
}

bool PtyServer::start() {
    if (!port_ || thread_.joinable()) return false;
    stopping_.store(false);
    thread_ = std::thread([this] { serve(); });
    return true;
}

void PtyServer::stop() {
    stopping_.store(true);
    if (wake_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    }
    if (thread_.joinable()) thread_.join();
}

PtyServer::Stats PtyServer::stats() const {
    std::lock_guard<std::mutex> lock(statsMutex_);
    return stats_;
}

void PtyServer::resetStats() {
    std::lock_guard<std::mutex> lock(statsMutex_);
    stats_ = Stats{};
}

}  // namespace kv
