// How port names become device nodes under /dev, and which nodes are offered as ports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/device_path.h"
#include "serial/posix/serial_candidates.h"
#include "serial/serial_port.h"

namespace kv {
namespace {

int OpenDevice(std::u16string_view name) {
    return SerialOpen(PortDynamic, name, 115200, 0, 8, 1.0, 0, 255, 255);
}

TEST(SerialNames, DevicePaths) {
    std::string path;
    ASSERT_TRUE(SerialDevicePath(u"ttyUSB0", path));
    EXPECT_EQ(path, "/dev/ttyUSB0");
    ASSERT_TRUE(SerialDevicePath(u"/dev/pts/5", path));
    EXPECT_EQ(path, "/dev/pts/5");
    for (const char16_t* bad :
         {u"", u"../etc/passwd", u"/dev/../etc/passwd", u"pts/5", u"tty\nS0"}) {
        EXPECT_FALSE(SerialDevicePath(bad, path))
            << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
    }
}

TEST(SerialNames, MissingOrRefusedDevicesOpenNothing) {
    EXPECT_EQ(OpenDevice(u"ttyKalorivoxMissing9"), 0);
    EXPECT_EQ(OpenDevice(u"../tmp"), 0);
    EXPECT_EQ(OpenDevice(u"/dev/null"), 0) << "not a terminal";
    EXPECT_EQ(SerialClose(PortDynamic), 0) << "the table stayed empty";
}

TEST(SerialNames, CandidateSelection) {
    std::vector<std::string> found = {"ttyS10",  "ttyS2",   "tty1",      "ttyUSB0",
                                      "ttyS",    "rfcomm1", "console",   "ttyACM0",
                                      "ttyAMA0", "ttyS3",   "ttyprintk", "ttySAC0"};
    auto chosen =
        SelectSerialCandidates(found, [](const std::string& name) { return name != "ttyS3"; });
    std::vector<std::string> expected = {"rfcomm1", "ttyACM0", "ttyAMA0", "ttyS2",
                                         "ttyS10",  "ttySAC0", "ttyUSB0"};
    EXPECT_EQ(chosen, expected) << "families only, placeholders out, natural order";
}

}  // namespace
}  // namespace kv
