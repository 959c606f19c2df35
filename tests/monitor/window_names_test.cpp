// The window's names file beside the program: absent, nothing changes; made or changed while
// the program runs, the names follow within a second.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "monitor/sensor_texts.h"
#include "monitor/window_names.h"
#include "runtime/utf.h"
#include "sim/sim_clock.h"
#include "sim/sim_device.h"
#include "tests/runtime/temp_folder.h"

namespace kv {
namespace {

TEST(WindowNames, FollowTheFileBesideTheProgram) {
    SimClock clock;
    ScopedTimeSource time(&clock);
    testing::TempFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.File(""));
    const RomCode rom = SimMakeRom(0x28, 0x0417A3C41EFF), other = SimMakeRom(0x10, 0x8021B6F3A);
    EXPECT_EQ(NamedRomText(rom), FormatRomCode(rom));

    std::ofstream(folder.File("Kalorivox-names.txt")) << "# boiler room\nno names here\n";
    clock.advanceMilliseconds(1000);
    EXPECT_EQ(WindowSensorName(rom), u"");
    std::ofstream(folder.File("Kalorivox-names.txt"))
        << Utf8FromUtf16(FormatRomCode(rom)) << " = Котёл подача\n";
    EXPECT_EQ(WindowSensorName(rom), u"") << "looked at no more than once a second";
    clock.advanceMilliseconds(1000);
    EXPECT_EQ(NamedRomText(rom), u"Котёл подача  " + FormatRomCode(rom));
    EXPECT_EQ(NamedRomText(other), FormatRomCode(other));
    std::filesystem::current_path(before);
}

}  // namespace
}  // namespace kv
