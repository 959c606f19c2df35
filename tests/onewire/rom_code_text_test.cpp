// The ROM code's one text form for both front ends, and reading it back in either form.
#include <gtest/gtest.h>

#include "onewire/reading_verdict.h"
#include "onewire/rom_code_text.h"

namespace kv {
namespace {

TEST(RomCodeText, FamilySerialMostSignificantFirstCrcInBothEncodings) {
    const RomCode rom = {0x28, 0xFF, 0x1E, 0xC4, 0xA3, 0x17, 0x04, 0x50};
    EXPECT_EQ(RomCodeText(rom), "28-0417A3C41EFF-50");
    EXPECT_EQ(RomCodeHex(rom), "28FF1EC4A3170450");
    EXPECT_EQ(FormatRomCode({0x28, 0x2C, 0x1B, 0x5A, 0x04, 0x00, 0x00, 0x84}),
              u"28-0000045A1B2C-84");
    EXPECT_EQ(FormatRomCode({0x10, 0x9E, 0x8A, 0x3D, 0x02, 0x08, 0x00, 0xC3}),
              u"10-0008023D8A9E-C3");
    EXPECT_EQ(FormatRomCode({0x00, 0x01, 0x0A, 0xF0, 0xFF, 0x00, 0x7F, 0x0F}),
              u"00-7F00FFF00A01-0F");
}

TEST(RomCodeText, ReadsBothFormsInEitherCaseAndNothingElse) {
    const RomCode rom = {0x28, 0xFF, 0x1E, 0xC4, 0xA3, 0x17, 0x04, 0x50};
    for (const char* text :
         {"28-0417A3C41EFF-50", "28-0417a3c41eff-50", "28FF1EC4A3170450", "28ff1ec4a3170450"})
        EXPECT_EQ(ParseRomCodeText(text), rom) << text;
    const RomCode other = {0x10, 0x9E, 0x8A, 0x3D, 0x02, 0x08, 0x00, 0xC3};
    EXPECT_EQ(ParseRomCodeText(RomCodeText(other)), other);
    for (const char* text :
         {"", "28-0417A3C41EFF-5", "28-0417A3C41EFF-500", "28_0417A3C41EFF_50", "280417A3C41EFF50-",
          "28-0417A3C41EFG-50", "28FF1EC4A317045", "28FF1EC4A31704500", "28FF1EC4A317045X",
          "+8FF1EC4A3170450", "28-+417A3C41EFF-50", "2-80417A3C41EFF-50"})
        EXPECT_FALSE(ParseRomCodeText(text).has_value()) << text;
}

}  // namespace
}  // namespace kv
