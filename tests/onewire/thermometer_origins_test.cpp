// The published origins' ROM patterns held against the research's own example ROM codes,
// written out as it prints them (family code first, CRC last).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "onewire/ds18x20.h"
#include "onewire/thermometer_origins.h"

namespace kv {
namespace {

RomCode Rom(const std::string& dashed) {
    RomCode rom{};
    for (size_t i = 0; i < rom.size(); ++i)
        rom[i] = static_cast<uint8_t>(std::stoul(dashed.substr(3 * i, 2), nullptr, 16));
    return rom;
}

struct Example {
    const char* family;  // "" for none of a family's own pattern
    const char* rom;
};

// Every example ROM code of the research's family sections (and of the variant it split off
// as B1v2), its own CRC included. Each fits the pattern of its family and, A1's and the old
// counter's aside, breaks the genuine one; D1 and D2 keep their pairs at bytes 3 and 4.
TEST(ThermometerOrigins, ResearchExampleRomsFitTheirFamilies) {
    const std::vector<Example> examples = {
        {"genuine", "28-13-9B-BB-0B-00-00-1F"}, {"A2", "28-19-00-00-B7-5B-00-41"},
        {"B1", "28-AA-3C-61-55-14-01-F0"},      {"", "28-AB-9C-B1-33-14-01-81"},
        {"B1v2", "28-E4-FA-2F-57-23-0B-AF"},    {"B2", "28-FF-7C-5A-61-16-04-EE"},
        {"C", "28-FF-64-1D-CD-96-F2-01"},       {"D1", "28-48-1B-77-91-17-02-55"},
        {"D1", "28-24-1D-77-91-04-02-CE"},      {"D1", "28-B8-0E-77-91-0E-02-D7"},
        {"D1", "28-21-6D-46-92-0A-02-B7"},      {"D2", "28-90-FE-79-97-00-03-20"},
        {"D2", "28-FD-58-94-97-14-03-05"},      {"D2", "28-FB-10-79-A2-00-03-88"},
        {"D2", "28-29-7D-16-A8-01-3C-84"},      {"D2", "28-DF-54-56-B5-01-3C-F5"},
        {"D2", "28-AF-EC-07-D6-01-3C-0A"},      {"E", "28-9E-9C-1F-00-00-80-04"},
    };
    const ThermometerOrigin& genuine = ThermometerOrigins(FamilyDs18b20).front();
    ASSERT_TRUE(genuine.genuine) << "the judgement takes the first row for the genuine part";
    for (const Example& e : examples) {
        SCOPED_TRACE(e.rom);
        const RomCode rom = Rom(e.rom);
        EXPECT_TRUE(RomCrcOk(rom.data()));
        const std::string family = e.family;
        EXPECT_EQ(RomFitsOrigin(genuine, rom), family == "genuine");
        if (family.empty()) continue;
        const ThermometerOrigin* own = FindThermometerOrigin(FamilyDs18b20, e.family);
        ASSERT_NE(own, nullptr);
        EXPECT_TRUE(RomFitsOrigin(*own, rom));
        for (const char* d : {"D1", "D2"})
            EXPECT_EQ(RomFitsOrigin(*FindThermometerOrigin(FamilyDs18b20, d), rom), family == d);
    }
    // The D pair one byte on, where a count from 1 would look for it, is no D1 code.
    EXPECT_FALSE(
        RomFitsOrigin(*FindThermometerOrigin(FamilyDs18b20, "D1"), Rom("28-48-1B-17-77-91-02-00")));
    // The old counter's range is genuine and A3's alike.
    const RomCode old = Rom("28-E1-43-5A-00-00-00-64");
    EXPECT_TRUE(RomFitsOrigin(genuine, old));
    EXPECT_TRUE(RomFitsOrigin(*FindThermometerOrigin(FamilyDs18b20, "a3"), old));
}

}  // namespace
}  // namespace kv
