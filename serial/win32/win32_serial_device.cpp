// A COM port of Windows, opened exclusively for synchronous reading and writing.
//
// Reads never wait for bytes that were not announced: the read time-outs make ReadFile
// return at once with what has arrived, and a read collects the announced count within a
// short limit, so a dead USB adapter cannot hang the caller. Writes may take 100 ms per
// byte plus 10 ms, the limit the driver enforces.
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

#include <atomic>
#include <chrono>

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
// The queue sizes every caller of the program asks for; the driver takes them as a hint.
constexpr DWORD DriverQueueBytes = 255;

using Clock = std::chrono::steady_clock;

bool NotSupported(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_INVALID_PARAMETER || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// What the driver answers once the adapter behind the handle has been pulled out.
bool DeviceGoneError(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_GEN_FAILURE || error == ERROR_ACCESS_DENIED ||
           error == ERROR_OPERATION_ABORTED || error == ERROR_DEVICE_NOT_CONNECTED;
}

BYTE StopBitsCode(double stopBits) {
    if (stopBits == 1.0) return ONESTOPBIT;
    if (stopBits == 2.0) return TWOSTOPBITS;
    return ONE5STOPBITS;
}

class Win32SerialDevice final : public SerialDevice {
  public:
    Win32SerialDevice(HANDLE handle, const DCB& initial)
        : handle_(handle),
          dtr_(initial.fDtrControl == DTR_CONTROL_ENABLE),
          rts_(initial.fRtsControl == RTS_CONTROL_ENABLE) {}
    ~Win32SerialDevice() override { CloseHandle(handle_); }
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
        const auto deadline = Clock::now() + std::chrono::milliseconds(ReadLimitConstantMs +
                                                                       ReadLimitPerByteMs * count);
        int done = 0;
        while (done < count) {
            DWORD got = 0;
            if (!ReadFile(handle_, data + done, static_cast<DWORD>(count - done), &got, nullptr))
                break;
            done += static_cast<int>(got);
            if (got == 0 && Clock::now() >= deadline) break;
        }
        return done;
    }

    int inputCount() override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle_, &errors, &status)) {
            if (DeviceGoneError(GetLastError())) gone_ = true;
            return -1;
        }
        return static_cast<int>(status.cbInQue);
    }

    bool gone() override { return gone_; }

  private:
    HANDLE handle_;
    bool dtr_;
    bool rts_;
    bool noModemLines_ = false;
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
    // A read returns at once with what has arrived, or waits up to ReadLimitConstantMs for the
    // first byte; the read loop above bounds the whole transfer.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = ReadLimitConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = WriteLimitPerByteMs;
    timeouts.WriteTotalTimeoutConstant = WriteLimitConstantMs;
    SetCommTimeouts(handle, &timeouts);
    return std::make_unique<Win32SerialDevice>(handle, dcb);
}

}  // namespace kv
