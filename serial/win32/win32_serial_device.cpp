// A COM port of Windows, opened exclusively for synchronous reading and writing.
//
// Reads never wait for bytes that were not announced: the read time-outs make ReadFile
// return at once with what has arrived, and a read collects the announced count within a
// short limit, so a dead USB adapter cannot hang the caller. Writes may take 100 ms per
// byte plus 10 ms, the limit the driver enforces.
//
// Waiting for input sleeps in the driver: one ReadFile for the bytes still missing, with a
// total time-out of the time left and no interval time-out, returns when they are all there
// or the time is up; a wait longer than 100 ms takes several such reads, so that a device
// that has gone is noticed meanwhile. What the reads took from the driver stays in a buffer
// of the device's own; counts and reads take that buffer first. Each wait has its own time
// left, so the read time-outs are switched to it, and back to "at once" only when a read
// needs the driver; a read answered from the buffer switches nothing.
//
// The system timer runs at a 1 ms period while a port is open. Nothing here polls any more,
// but the end of a wait with nothing coming is a driver timer, and the bus sleeps through
// the wire time of its slots: both are rounded up to the timer's tick, 15.6 ms by default,
// which would stretch a 36 ms echo limit to 47 ms. A faster tick wakes no thread of ours.
//
// Modem lines: applying the line settings also applies the DTR and RTS control modes, so
// the device remembers the levels it set and re-applies them with every speed switch; the
// adapter's power never drops while the speed changes. A device without modem lines (a
// pseudo-terminal behind Wine, some virtual ports) answers EscapeCommFunction with "not
// supported"; driving a line then succeeds without effect, as on POSIX, and the adapter
// counts as always powered.
//
// An unplugged USB adapter leaves its handle behind: the queue query then fails for good,
// which marks the device as gone.
#include <windows.h>

#include <mmsystem.h>  // needs windows.h first

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "runtime/utf.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

constexpr DWORD WriteLimitPerByteMs = 100;
constexpr DWORD WriteLimitConstantMs = 10;
// Reads are only asked for announced bytes; this bounds the rare case where the driver
// announced more than it can hand over at once.
constexpr int ReadLimitConstantMs = 100;
constexpr int ReadLimitPerByteMs = 2;
constexpr UINT TimerPeriodMs = 1;
// The read time-outs in force: ReadFile returns at once with what has arrived.
constexpr int ReadAtOnce = 0;
constexpr int ReadTimeoutsUnknown = -1;
// Not every driver ends a read that waits when its device goes (Wine reads a hung-up
// terminal as empty and waits on): a long wait asks the driver about the device this often.
constexpr int GoneCheckMs = 100;
// The queue sizes every caller of the program asks for; the driver takes them as a hint.
constexpr DWORD DriverQueueBytes = 255;

using Clock = std::chrono::steady_clock;

// Whole milliseconds left, rounded up: a driver time-out never ends a limit early.
int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// waitMs ReadAtOnce: ReadFile returns at once with what has arrived. Otherwise it returns
// when every byte asked for is there or waitMs have passed (a constant of 0 would mean
// "no limit", which waitMs above 0 never gives).
COMMTIMEOUTS PortTimeouts(int waitMs) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = waitMs == ReadAtOnce ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = waitMs == ReadAtOnce ? 0 : static_cast<DWORD>(waitMs);
    timeouts.WriteTotalTimeoutMultiplier = WriteLimitPerByteMs;
    timeouts.WriteTotalTimeoutConstant = WriteLimitConstantMs;
    return timeouts;
}

bool NotSupported(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_INVALID_PARAMETER || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// What the driver answers once the adapter behind the handle has been pulled out. Wine
// answers ERROR_NOT_READY for a terminal that has been hung up.
bool DeviceGoneError(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_GEN_FAILURE || error == ERROR_ACCESS_DENIED ||
           error == ERROR_OPERATION_ABORTED || error == ERROR_DEVICE_NOT_CONNECTED ||
           error == ERROR_NOT_READY;
}

BYTE StopBitsCode(double stopBits) {
    if (stopBits == 1.0) return ONESTOPBIT;
    if (stopBits == 2.0) return TWOSTOPBITS;
    return ONE5STOPBITS;
}

class Win32SerialDevice final : public SerialDevice {
  public:
    Win32SerialDevice(HANDLE handle, const DCB& initial, bool readsAtOnce)
        : handle_(handle),
          dtr_(initial.fDtrControl == DTR_CONTROL_ENABLE),
          rts_(initial.fRtsControl == RTS_CONTROL_ENABLE),
          readTimeouts_(readsAtOnce ? ReadAtOnce : ReadTimeoutsUnknown) {
        timeBeginPeriod(TimerPeriodMs);
    }
    ~Win32SerialDevice() override {
        CloseHandle(handle_);
        timeEndPeriod(TimerPeriodMs);
    }
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    bool configure(int baud, int dataBits, int parity, double stopBits) override {
        if (baud <= 0 || dataBits < 5 || dataBits > 8 || parity < 0 || parity > 4) return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) return false;
        dcb.BaudRate = static_cast<DWORD>(baud);
        dcb.fParity = TRUE;
        dcb.ByteSize = static_cast<BYTE>(dataBits);
        dcb.Parity = static_cast<BYTE>(parity);
        dcb.StopBits = StopBitsCode(stopBits);
        // No handshake: CTS is not watched and RTS is a plain output like DTR.
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        if (!noModemLines_) {
            dcb.fDtrControl = dtr_ ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
            dcb.fRtsControl = rts_ ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        }
        if (SetCommState(handle_, &dcb)) return true;
        if (noModemLines_ || !NotSupported(GetLastError())) return false;
        // Applying the control modes drives the lines; a device without them refuses that
        // while taking everything else. Learn it here and apply the rest again.
        noModemLines_ = true;
        return configure(baud, dataBits, parity, stopBits);
    }

    bool setLine(int line, bool level) override {
        DWORD function = 0;
        switch (line) {
            case SerialLineDtr:
                function = level ? SETDTR : CLRDTR;
                break;
            case SerialLineRts:
                function = level ? SETRTS : CLRRTS;
                break;
            case SerialLineBreak:
                function = level ? SETBREAK : CLRBREAK;
                break;
            default:
                return false;
        }
        if (!EscapeCommFunction(handle_, function)) {
            if (!NotSupported(GetLastError())) return false;
            noModemLines_ = true;
        }
        if (line == SerialLineDtr) dtr_ = level;
        if (line == SerialLineRts) rts_ = level;
        return true;
    }

    int write(const uint8_t* data, int count) override {
        if (count <= 0) return 0;
        // A write cut short by the time limit fails but still reports what went out.
        DWORD written = 0;
        WriteFile(handle_, data, static_cast<DWORD>(count), &written, nullptr);
        return static_cast<int>(written);
    }

    int read(uint8_t* data, int count) override {
        if (count <= 0) return 0;
        const int held = static_cast<int>(std::min<size_t>(held_.size(), count));
        std::copy_n(held_.begin(), held, data);
        held_.erase(held_.begin(), held_.begin() + held);
        if (held == count) return count;
        const int ready = ReadDriver(data + held, count - held, ReadAtOnce);
        if (ready < 0) return held;
        int done = held + ready;
        // A driver that announced more than it had ready gets the read limit for the rest.
        if (done < count) {
            const int late = ReadDriver(data + done, count - done,
                                        ReadLimitConstantMs + ReadLimitPerByteMs * (count - held));
            if (late > 0) done += late;
        }
        return done;
    }

    int inputCount() override {
        const int queued = DriverQueued();
        return queued < 0 ? -1 : queued + static_cast<int>(held_.size());
    }

    int waitInput(int count, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const int waiting = inputCount();
            if (waiting < 0 || waiting >= count) return waiting;
            const int left = std::min(MillisecondsLeft(deadline), GoneCheckMs);
            if (left <= 0) return waiting;
            // Bytes still queued in the driver come first in the read, so asking for all
            // that the buffer lacks returns exactly when `count` have arrived.
            const size_t size = held_.size();
            held_.resize(static_cast<size_t>(count));
            const int got = ReadDriver(held_.data() + size, count - static_cast<int>(size), left);
            held_.resize(size + static_cast<size_t>(std::max(got, 0)));
            if (got < 0) return -1;
        }
    }

    bool gone() override { return gone_; }

  private:
    // The number of bytes queued in the driver, -1 when the query fails.
    int DriverQueued() {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle_, &errors, &status)) {
            if (DeviceGoneError(GetLastError())) gone_ = true;
            return -1;
        }
        return static_cast<int>(status.cbInQue);
    }

    // One ReadFile of up to `count` bytes under the read time-outs of waitMs (see
    // PortTimeouts); returns how many bytes came, -1 when the driver failed.
    int ReadDriver(uint8_t* data, int count, int waitMs) {
        if (readTimeouts_ != waitMs) {
            COMMTIMEOUTS timeouts = PortTimeouts(waitMs);
            if (!SetCommTimeouts(handle_, &timeouts)) {
                // Nothing is known of what is in force now: neither waits nor reads may
                // trust it, so nothing is read.
                readTimeouts_ = ReadTimeoutsUnknown;
                if (DeviceGoneError(GetLastError())) gone_ = true;
                return -1;
            }
            readTimeouts_ = waitMs;
        }
        DWORD got = 0;
        if (!ReadFile(handle_, data, static_cast<DWORD>(count), &got, nullptr)) {
            if (DeviceGoneError(GetLastError())) gone_ = true;
            return -1;
        }
        return static_cast<int>(std::min<DWORD>(got, static_cast<DWORD>(count)));
    }

    HANDLE handle_;
    bool dtr_;
    bool rts_;
    bool noModemLines_ = false;
    int readTimeouts_;               // the waitMs of the read time-outs in force
    std::vector<uint8_t> held_;      // received, taken from the driver by a wait, not yet read
    std::atomic<bool> gone_{false};  // asked from other threads (port listing)
};

}  // namespace

std::unique_ptr<SerialDevice> OpenPlatformSerialDevice(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
    const std::u16string widePath = Utf16FromUtf8(path);
    HANDLE handle =
        CreateFileW(reinterpret_cast<LPCWSTR>(widePath.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    SetupComm(handle, DriverQueueBytes, DriverQueueBytes);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        CloseHandle(handle);  // a file or another device that is no serial port
        return nullptr;
    }
    COMMTIMEOUTS timeouts = PortTimeouts(ReadAtOnce);
    const bool readsAtOnce = SetCommTimeouts(handle, &timeouts) != 0;
    return std::make_unique<Win32SerialDevice>(handle, dcb, readsAtOnce);
}

}  // namespace kv
