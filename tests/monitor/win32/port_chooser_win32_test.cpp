// Discovery on Windows: the registry's serial device map says which COM ports exist, and only
// those are opened to see whether they are free. The map is a key of the test's own; its
// ports are DOS device names that lead to named pipes of the test, so that every open of one
// shows at its pipe.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "monitor/port_chooser.h"
#include "monitor/window_ids.h"
#include "serial/serial_device.h"
#include "serial/win32/port_map.h"
#include "tests/monitor/worker_harness.h"

namespace kv {
namespace {

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// COMn as a name of the DOS device namespace for a named pipe: it opens like a port, is no
// serial device (so it is never offered), and the pipe sees each open as a client.
class PipePort {
  public:
    explicit PipePort(std::string name) : name_(std::move(name)) {
        const std::wstring pipe =
            L"kalorivox-test-" + Wide(name_) + L"-" + std::to_wstring(GetCurrentProcessId());
        pipe_ = CreateNamedPipeW((L"\\\\.\\pipe\\" + pipe).c_str(),
                                 PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 64,
                                 64, 0, nullptr);
        connected_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (pipe_ == INVALID_HANDLE_VALUE || !connected_.hEvent) return;
        ConnectNamedPipe(pipe_, &connected_);  // pending until a client opens the pipe
        target_ = L"\\Device\\NamedPipe\\" + pipe;
        defined_ = DefineDosDeviceW(DDD_RAW_TARGET_PATH, Wide(name_).c_str(), target_.c_str());
    }
    ~PipePort() {
        if (defined_)
            DefineDosDeviceW(
                DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                Wide(name_).c_str(), target_.c_str());
        if (pipe_ != INVALID_HANDLE_VALUE) {
            CancelIo(pipe_);
            CloseHandle(pipe_);
        }
        if (connected_.hEvent) CloseHandle(connected_.hEvent);
    }
    bool ready() const { return defined_; }
    bool opened() const { return WaitForSingleObject(connected_.hEvent, 0) == WAIT_OBJECT_0; }

  private:
    std::string name_;
    std::wstring target_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    OVERLAPPED connected_{};
    bool defined_ = false;
};

// A serial device map of the test's own, in place of the system's.
class PortMap {
  public:
    PortMap() {
        key_ = L"Software\\Kalorivox-test\\SERIALCOMM-" + std::to_wstring(GetCurrentProcessId());
        RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &map_, nullptr);
        SerialSetPortMapKey(std::u16string(key_.begin(), key_.end()));
    }
    ~PortMap() {
        SerialSetPortMapKey(u"");
        if (map_) RegCloseKey(map_);
        RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
    }
    bool ready() const { return map_ != nullptr; }
    // One value, as a driver enters a port.
    void add(const std::wstring& device, const std::string& port) {
        const std::wstring data = Wide(port);
        RegSetValueExW(map_, device.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    void addNumber(const std::wstring& name) {
        const DWORD value = 7;
        RegSetValueExW(map_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    }

  private:
    std::wstring key_;
    HKEY map_ = nullptr;
};

TEST(PortListWin32, OnlyThePortsOfTheSerialDeviceMapAreOpenedAndOfferedInOrder) {
    test::WorkerHarness h;
    PortMap map;
    ASSERT_TRUE(map.ready());
    PipePort listed("COM62"), unlisted("COM63");
    ASSERT_TRUE(listed.ready() && unlisted.ready());
    // The serial port of tools/win32.sh's echo peer, when there is one.
    const char* echo = std::getenv("KV_WIN32_ECHO_PORT");
    const std::string realPort = echo && *echo ? echo : "";
    map.add(L"\\Device\\Serial64", "COM64");  // entered, but no such device now
    map.add(L"\\Device\\Serial62", "COM62");
    map.add(L"\\Device\\VCP0", "COM62");  // the same port twice: listed once
    map.addNumber(L"\\Device\\Broken");   // not a port name
    if (!realPort.empty()) map.add(L"\\Device\\Serial40", realPort);

    std::vector<std::string> expected = {"COM62", "COM64"};
    if (!realPort.empty()) expected.insert(expected.begin(), realPort);
    EXPECT_EQ(expected, PlatformSerialCandidates()) << "the map's ports in natural order";

    ListComPorts(PortSelector);
    std::vector<std::u16string> offered;
    if (!realPort.empty()) offered.emplace_back(realPort.begin(), realPort.end());
    for (const std::u16string& name : SerialVirtualPortNames()) offered.push_back(name);
    EXPECT_EQ(offered, h.toolkit->control(MainWindow, PortSelector).entries)
        << "free serial ports of the map, then the virtual ones";
    EXPECT_TRUE(listed.opened()) << "a port of the map is looked at";
    EXPECT_FALSE(unlisted.opened()) << "a device outside the map is never opened";
}

}  // namespace
}  // namespace kv
