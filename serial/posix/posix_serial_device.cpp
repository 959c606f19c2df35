// A serial device node of a POSIX system (Linux first).
//
// The descriptor stays non-blocking for its whole life: a port without carrier must not
// block the open, a read only collects bytes the input count already announced, and a
// write waits in poll() with a limit of 100 ms per byte plus 10 ms, so a dead USB adapter
// can never hang the caller.
//
// Waiting for input sleeps in poll(). poll() reports a descriptor readable for as long as
// anything is queued, so a wait for more than has arrived moves what arrived into a buffer
// of the device's own and sleeps again; counts and reads take that buffer first.
//
// USB converters hold echoes back for their latency timer (16 ms for ftdi_sio): the open
// asks the driver for low latency where it offers the flag and gives the old flags back at
// close. A driver without the flag, or one that refuses it, is used as it is.
//
// Modem lines: pseudo-terminals and some virtual UARTs have no DTR/RTS, and the modem
// ioctls fail there with ENOTTY or EINVAL. Such a device is treated as having no modem
// lines: driving a line succeeds without effect, so the open and every speed switch work
// as on a real port. Any other failure (EIO after an unplug) is reported.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <vector>

#include "serial/posix/exclusive_use.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

constexpr int WriteLimitPerByteMs = 100;
constexpr int WriteLimitConstantMs = 10;
// Reads are only asked for announced bytes; this bounds the rare case where the driver
// announced more than it can hand over at once.
constexpr int ReadLimitConstantMs = 100;
constexpr int ReadLimitPerByteMs = 2;

constexpr useconds_t DrainPollUs = 500;
constexpr size_t CollectChunkBytes = 512;

using Clock = std::chrono::steady_clock;

bool SpeedConstant(int baud, speed_t& speed) {
    switch (baud) {
        case 1200:
            speed = B1200;
            return true;
        case 2400:
            speed = B2400;
            return true;
        case 4800:
            speed = B4800;
            return true;
        case 9600:
            speed = B9600;
            return true;
        case 19200:
            speed = B19200;
            return true;
        case 38400:
            speed = B38400;
            return true;
        case 57600:
            speed = B57600;
            return true;
        case 115200:
            speed = B115200;
            return true;
        case 230400:
            speed = B230400;
            return true;
        default:
            return false;
    }
}

bool DataBitsFlag(int dataBits, tcflag_t& flag) {
    switch (dataBits) {
        case 5:
            flag = CS5;
            return true;
        case 6:
            flag = CS6;
            return true;
        case 7:
            flag = CS7;
            return true;
        case 8:
            flag = CS8;
            return true;
        default:
            return false;
    }
}

bool NoModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

// What a terminal answers once its device has gone: an unplugged USB adapter or a
// pseudo-terminal whose other side closed is hung up for good.
bool DeviceGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Sets the driver's low-latency flag; true when it was off and is on now.
bool SetLowLatency(int fd) {
#ifdef ASYNC_LOW_LATENCY
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY) != 0) return false;
    info.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &info) == 0;
#else
    (void)fd;
    return false;
#endif
}

void ClearLowLatency(int fd) {
#ifdef ASYNC_LOW_LATENCY
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    info.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &info);
#else
    (void)fd;
#endif
}

class PosixSerialDevice final : public SerialDevice {
  public:
    explicit PosixSerialDevice(int fd) : fd_(fd), lowLatencySet_(SetLowLatency(fd)) {}
    ~PosixSerialDevice() override {
        if (lowLatencySet_) ClearLowLatency(fd_);
        // The kernel keeps the exclusive flag for as long as the terminal itself lives,
        // which for a pseudo-terminal (or a console) is beyond our close: give it back.
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    bool configure(int baud, int dataBits, int parity, double stopBits) override {
        speed_t speed;
        tcflag_t size;
        if (!SpeedConstant(baud, speed) || !DataBitsFlag(dataBits, size)) return false;
        if (parity < 0 || parity > 2) return false;  // none, odd, even
        if (stopBits != 1.0 && stopBits != 2.0) return false;

        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return failed();
        cfmakeraw(&tio);
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
        tio.c_cflag |= size | CLOCAL | CREAD;
        if (parity != 0) tio.c_cflag |= PARENB | (parity == 1 ? PARODD : 0);
        if (stopBits == 2.0) tio.c_cflag |= CSTOPB;
        tio.c_iflag &= ~(IXON | IXOFF | IXANY);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        // TCSADRAIN: bytes already written go out at the old speed, the next at the new.
        // The kernel would wait for the drain without a limit, so wait here first, bounded
        // like a write of what is still queued; output that never drains fails the switch.
        if (!WaitOutputDrained()) return false;
        if (tcsetattr(fd_, TCSADRAIN, &tio) != 0) return failed();
        // tcsetattr succeeds when any part of the change took; make sure the speed did.
        termios check{};
        return tcgetattr(fd_, &check) == 0 && cfgetospeed(&check) == speed;
    }

    bool setLine(int line, bool level) override {
        if (line == SerialLineBreak) {
            int request = level ? TIOCSBRK : TIOCCBRK;
            return ioctl(fd_, request) == 0 || NoModemLines(errno) || failed();
        }
        int bits = line == SerialLineDtr ? TIOCM_DTR : line == SerialLineRts ? TIOCM_RTS : 0;
        if (bits == 0) return false;
        if (ioctl(fd_, level ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
        return NoModemLines(errno) || failed();
    }

    int write(const uint8_t* data, int count) override {
        return Transfer(POLLOUT, count, WriteLimitPerByteMs, WriteLimitConstantMs, [&](int done) {
            return ::write(fd_, data + done, static_cast<size_t>(count - done));
        });
    }

    int read(uint8_t* data, int count) override {
        if (count <= 0) return 0;
        const int held = static_cast<int>(std::min<size_t>(held_.size(), count));
        std::copy_n(held_.begin(), held, data);
        held_.erase(held_.begin(), held_.begin() + held);
        data += held;
        count -= held;
        return held +
               Transfer(POLLIN, count, ReadLimitPerByteMs, ReadLimitConstantMs, [&](int done) {
                   return ::read(fd_, data + done, static_cast<size_t>(count - done));
               });
    }

    int inputCount() override {
        int count = 0;
        if (ioctl(fd_, FIONREAD, &count) == 0) return count + static_cast<int>(held_.size());
        failed();
        return -1;
    }

    int waitInput(int count, int timeoutMs) override {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (!Collect()) return -1;
            if (static_cast<int>(held_.size()) >= count) break;
            auto now = Clock::now();
            if (now >= deadline) break;
            // Rounded up: poll() would otherwise end a fraction of a millisecond early.
            int left = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
            pollfd p{fd_, POLLIN, 0};
            int r = ::poll(&p, 1, left);
            if (r < 0 && errno != EINTR) return -1;
            if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                Collect();  // what arrived before the hang-up still counts
                gone_ = true;
                return -1;
            }
        }
        return static_cast<int>(held_.size());
    }

    bool gone() override { return gone_; }

  private:
    // Moves `count` bytes with `io` (given the count done so far), waiting in poll() while
    // the descriptor has no room or no data, until a limit of perByteMs * count + constantMs.
    // Returns how many bytes moved; an error or hang-up ends the transfer early.
    template <typename Io>
    int Transfer(short events, int count, int perByteMs, int constantMs, Io io) {
        if (count <= 0) return 0;
        auto deadline =
            Clock::now() + std::chrono::milliseconds(int64_t{perByteMs} * count + constantMs);
        int done = 0;
        while (done < count) {
            ssize_t n = io(done);
            if (n > 0) {
                done += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                failed();
                break;
            }
            if (!WaitReady(events, deadline)) break;
        }
        return done;
    }

    bool WaitOutputDrained() {
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
        auto deadline =
            Clock::now() +
            std::chrono::milliseconds(int64_t{WriteLimitPerByteMs} * queued + WriteLimitConstantMs);
        while (Clock::now() < deadline) {
            if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
            ::usleep(DrainPollUs);
        }
        return false;
    }

    // Moves everything the driver has received into held_; false when reading failed.
    // A raw terminal without VMIN and VTIME reads 0 bytes when nothing is there.
    bool Collect() {
        for (;;) {
            size_t size = held_.size();
            held_.resize(size + CollectChunkBytes);
            ssize_t n = ::read(fd_, held_.data() + size, CollectChunkBytes);
            held_.resize(size + static_cast<size_t>(std::max<ssize_t>(n, 0)));
            if (n > 0) continue;
            if (n == 0) return true;
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK || failed();
        }
    }

    // False when the deadline passed or the descriptor reports an error or hang-up.
    bool WaitReady(short events, Clock::time_point deadline) {
        for (;;) {
            int left = RemainingMs(deadline);
            if (left <= 0) return false;
            pollfd p{fd_, events, 0};
            int r = ::poll(&p, 1, left);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                gone_ = true;
                return false;
            }
            return (p.revents & events) != 0;
        }
    }

    // Notes whether errno says the device has gone; always false, for the caller to return.
    bool failed() {
        if (DeviceGoneError(errno)) gone_ = true;
        return false;
    }

    int fd_;
    bool lowLatencySet_;
    std::vector<uint8_t> held_;      // received, taken from the driver by a wait, not yet read
    std::atomic<bool> gone_{false};  // asked from other threads (port listing)
};

}  // namespace

std::unique_ptr<SerialDevice> OpenPlatformSerialDevice(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // Exclusive use: TIOCEXCL refuses later opens by others; the lock also catches a
    // holder that opened before us, and the flag one that holds it without a lock (the
    // superuser's open passes the flag).
    if (!isatty(fd) || SerialHeldExclusively(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return nullptr;
    }
    tcflush(fd, TCIOFLUSH);
    return std::make_unique<PosixSerialDevice>(fd);
}

}  // namespace kv
