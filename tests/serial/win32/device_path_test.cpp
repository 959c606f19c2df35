// How port names become COM devices of Windows.
#include <gtest/gtest.h>

#include <string>

#include "serial/device_path.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

int OpenDevice(std::u16string_view name) {
    return SerialOpen(PortDynamic, name, 115200, 0, 8, 1.0, 0, 255, 255);
}

TEST(SerialNames, DevicePathsGoThroughTheDeviceNamespace) {
    std::string path;
    ASSERT_TRUE(SerialDevicePath(u"COM3", path));
    EXPECT_EQ(path, "\\\\.\\COM3");
    ASSERT_TRUE(SerialDevicePath(u"COM10", path));
    EXPECT_EQ(path, "\\\\.\\COM10") << "two-digit ports need the device namespace";
    for (const char16_t* bad : {u"", u"C:\\boot.ini", u"..\\COM1", u"COM1:", u"pipe/x",
                                u"\\\\server\\share", u"COM\n1"}) {
        EXPECT_FALSE(SerialDevicePath(bad, path))
            << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
    }
}

TEST(SerialNames, MissingDevicesAndOtherDevicesOpenNothing) {
    EXPECT_EQ(OpenDevice(u"COM254"), 0) << "no such port in a test prefix";
    EXPECT_EQ(OpenDevice(u"NUL"), 0) << "a device that is no serial port";
    EXPECT_EQ(OpenDevice(u"C:\\windows\\win.ini"), 0);
    EXPECT_EQ(SerialClose(PortDynamic), 0) << "the table stayed empty";
}

}  // namespace
}  // namespace kv
