// A COM port of Windows, opened exclusively for overlapped reading and writing.
//
// Every transfer on the port ends by a deadline of this program's own: a read or a write is
// started overlapped and waited for with a time limit; what has not completed by then is
// cancelled, and what it moved meanwhile is kept. Nothing rests on the driver's read or
// write time-outs: a driver, or Wine's emulation of one, that does not end a transfer by
// them cannot hold the caller past its deadline.
//
// The driver has no read time-out: a read asks for exactly the bytes still missing and
// completes when they are all there. A read of bytes that were announced completes at once;
// a wait for input is a read of the bytes it lacks, ended by its deadline; while it waits it
// asks the driver about the device every 100 ms, so that a device that has gone is noticed.
// What a wait took from the driver stays in a buffer of the device's own; counts and reads
// take that buffer first. Writes may take 100 ms per byte plus 10 ms.
//
// The system timer runs at a 1 ms period while a port is open. Nothing here polls, but the
// end of a wait with nothing coming is a timer, and the bus sleeps through the wire time of
// its slots: both are rounded up to the timer's tick, 15.6 ms by default, which would
// stretch a 36 ms echo limit to 47 ms. A faster tick wakes no thread of ours.
//
// Modem lines: applying the line settings also applies the DTR and RTS control modes, so
// the device remembers the levels it set and re-applies them with every speed switch; the
// adapter's power never drops while the speed changes. A device without modem lines (a
// pseudo-terminal behind Wine, some virtual ports) answers EscapeCommFunction with "not
// supported"; driving a line then succeeds without effect, as on POSIX, and the adapter
// counts as always powered.
//
// An unplugged USB adapter leaves its handle behind: the queue query then fails for good,
// which marks the device as gone. So does a transfer that not even cancelling ends.
#include <windows.h>

#include <mmsystem.h>  // needs windows.h first

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "runtime/utf.h"
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
// A cancelled transfer ends at once on every driver seen; one that has not ended after this
// leaves the device unusable.
constexpr DWORD CancelLimitMs = 1000;
constexpr UINT TimerPeriodMs = 1;
// Not every driver ends a read that waits when its device goes (Wine reads a hung-up
// terminal as empty and waits on): a waiting read asks the driver about the device this often.
constexpr int GoneCheckMs = 100;
// The queue sizes every caller of the program asks for; the driver takes them as a hint.
constexpr DWORD DriverQueueBytes = 255;

using Clock = std::chrono::steady_clock;

// Whole milliseconds left, rounded up: a limit is never cut short.
int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// No read time-out in the driver: a read completes when every byte asked for is there, or
// its own deadline ends it. Writes keep the driver's limit as well as their own.
COMMTIMEOUTS PortTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutMultiplier = WriteLimitPerByteMs;
    timeouts.WriteTotalTimeoutConstant = WriteLimitConstantMs;
    return timeouts;
}

bool NotSupported(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_INVALID_PARAMETER || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// What the driver answers once the adapter behind the handle has been pulled out. Wine
// answers ERROR_NOT_READY to a query and ERROR_BROKEN_PIPE to a read of a terminal that has
// been hung up.
bool DeviceGoneError(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_GEN_FAILURE || error == ERROR_ACCESS_DENIED ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_NOT_READY ||
           error == ERROR_BROKEN_PIPE;
}

BYTE StopBitsCode(double stopBits) {
    if (stopBits == 1.0) return ONESTOPBIT;
    if (stopBits == 2.0) return TWOSTOPBITS;
    return ONE5STOPBITS;
}

// What one overlapped transfer needs while the driver has it: the bytes and their OVERLAPPED.
struct Transfer {
    OVERLAPPED op{};
    std::vector<uint8_t> bytes;

    Transfer() { op.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Transfer() { CloseHandle(op.hEvent); }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
};

class Win32SerialDevice final : public SerialDevice {
  public:
    Win32SerialDevice(HANDLE handle, const DCB& initial)
        : handle_(handle),
          dtr_(initial.fDtrControl == DTR_CONTROL_ENABLE),
          rts_(initial.fRtsControl == RTS_CONTROL_ENABLE) {
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

    // A write cut short by its limit still reports what went out.
    int write(const uint8_t* data, int count) override {
        if (count <= 0) return 0;
        writing_->bytes.assign(data, data + count);
        const int written =
            Move(writing_, false, count, WriteLimitPerByteMs * count + WriteLimitConstantMs);
        return std::max(written, 0);
    }

    int read(uint8_t* data, int count) override {
        if (count <= 0) return 0;
        const int held = static_cast<int>(std::min<size_t>(held_.size(), count));
        std::copy_n(held_.begin(), held, data);
        held_.erase(held_.begin(), held_.begin() + held);
        if (held == count) return count;
        const int missing = count - held;
        const int got =
            Move(reading_, true, missing, ReadLimitConstantMs + ReadLimitPerByteMs * missing);
        if (got <= 0) return held;
        std::copy_n(reading_->bytes.begin(), got, data + held);
        return held + got;
    }

    int inputCount() override {
        const int queued = DriverQueued();
        return queued < 0 ? -1 : queued + static_cast<int>(held_.size());
    }

    int waitInput(int count, int timeoutMs) override {
        const int waiting = inputCount();
        if (waiting < 0 || waiting >= count || timeoutMs <= 0) return waiting;
        // Bytes still queued in the driver come first in the read, so asking for all that
        // the buffer lacks completes exactly when `count` have arrived.
        const int got = Move(reading_, true, count - static_cast<int>(held_.size()), timeoutMs);
        if (got < 0) return -1;
        held_.insert(held_.end(), reading_->bytes.begin(), reading_->bytes.begin() + got);
        return inputCount();
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

    // One overlapped read into, or write from, the transfer's bytes, of `count` bytes, ended
    // by `limitMs` at the latest. Returns the bytes moved, -1 when the driver failed.
    int Move(std::unique_ptr<Transfer>& transfer, bool reading, int count, int limitMs) {
        if (!transfer) return -1;  // an earlier transfer never ended: the device is unusable
        Transfer& t = *transfer;
        if (reading) t.bytes.resize(static_cast<size_t>(count));
        // ReadFile and WriteFile reset the event themselves when the transfer starts.
        t.op.Internal = t.op.InternalHigh = 0;
        t.op.Offset = t.op.OffsetHigh = 0;
        const BOOL done =
            reading ? ReadFile(handle_, t.bytes.data(), static_cast<DWORD>(count), nullptr, &t.op)
                    : WriteFile(handle_, t.bytes.data(), static_cast<DWORD>(count), nullptr, &t.op);
        if (!done && GetLastError() != ERROR_IO_PENDING) return Failed(GetLastError());
        if (!done && !Await(t, reading, limitMs)) {
            // Not even cancelled: the driver may still use the transfer, which is never freed.
            gone_ = true;
            transfer.release();
            return -1;
        }
        DWORD moved = 0;
        if (!GetOverlappedResult(handle_, &t.op, &moved, FALSE) &&
            GetLastError() != ERROR_OPERATION_ABORTED) {
            return Failed(GetLastError());
        }
        return static_cast<int>(std::min<DWORD>(moved, static_cast<DWORD>(count)));
    }

    // Waits for a pending transfer until it completes or the limit passes, then cancels it
    // and waits for the cancel; false when even that did not end it.
    bool Await(Transfer& t, bool reading, int limitMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
        for (;;) {
            const int left = MillisecondsLeft(deadline);
            const int slice = reading ? std::min(left, GoneCheckMs) : left;
            if (WaitForSingleObject(t.op.hEvent, static_cast<DWORD>(slice)) == WAIT_OBJECT_0)
                return true;
            if (slice >= left) break;
            if (DriverQueued() < 0 && gone_) break;
        }
        CancelIoEx(handle_, &t.op);
        return WaitForSingleObject(t.op.hEvent, CancelLimitMs) == WAIT_OBJECT_0;
    }

    int Failed(DWORD error) {
        if (DeviceGoneError(error)) gone_ = true;
        return -1;
    }

    HANDLE handle_;
    bool dtr_;
    bool rts_;
    bool noModemLines_ = false;
    std::unique_ptr<Transfer> reading_ = std::make_unique<Transfer>();
    std::unique_ptr<Transfer> writing_ = std::make_unique<Transfer>();
    std::vector<uint8_t> held_;      // received, taken from the driver by a wait, not yet read
    std::atomic<bool> gone_{false};  // asked from other threads (port listing)
};

}  // namespace

std::unique_ptr<SerialDevice> OpenPlatformSerialDevice(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
    const std::u16string widePath = Utf16FromUtf8(path);
    HANDLE handle =
        CreateFileW(reinterpret_cast<LPCWSTR>(widePath.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    SetupComm(handle, DriverQueueBytes, DriverQueueBytes);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        CloseHandle(handle);  // a file or another device that is no serial port
        return nullptr;
    }
    // Should the driver keep time-outs of its own, a read may only end sooner; its deadline
    // holds either way.
    COMMTIMEOUTS timeouts = PortTimeouts();
    SetCommTimeouts(handle, &timeouts);
    return std::make_unique<Win32SerialDevice>(handle, dcb);
}

}  // namespace kv
