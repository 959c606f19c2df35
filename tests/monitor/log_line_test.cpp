// The log's line as the writer writes it and the reader reads it: what is written is read as
// written, anything else is told apart.
#include "monitor/log_line.h"

#include <gtest/gtest.h>

#include "monitor/sensor_texts.h"
#include "runtime/utf.h"
#include "sim/sim_device.h"
#include "tests/runtime/summer_time_zone.h"

namespace kv {
namespace {

using test::Utc;

const RomCode RomA = SimMakeRom(0x28, 0x045A1B2C);

// A record exactly as the log writes it (without the line end).
std::string Record(int64_t localSeconds, const RomCode& rom, float celsius) {
    return Utf8FromUtf16(LogStampText(static_cast<DateValue>(localSeconds)) +
                         LogReadingText(FormatRomCode(rom), celsius));
}

TEST(LogLine, ReadsWhatTheLogWritesAndTellsTheRestApart) {
    const int64_t when = Utc(2026, 12, 6, 15, 51, 9);
    for (float celsius : {-55.0f, -10.1f, -0.5f, 0.0f, 23.6f, 127.0f}) {
        LogRecord record;
        ASSERT_EQ(LogLineKind::Reading, ParseLogLine(Record(when, RomA, celsius), record))
            << celsius;
        EXPECT_EQ(when, record.localSeconds);
        EXPECT_EQ(RomA, record.rom);
        EXPECT_FLOAT_EQ(celsius, record.celsius);
    }
    LogRecord record;
    const std::string good = Record(when, RomA, 23.6f);
    EXPECT_EQ(LogLineKind::Empty, ParseLogLine("", record));
    for (const std::string& bad :
         {good.substr(0, 40),                    // cut off
          good.substr(0, good.size() - 1),       // without its unit's last letter
          good + good,                           // run together with the next
          good + " ",                            // something after it
          "x" + good,                            // something before it
          good.substr(0, 22) + good.substr(23),  // one blank after the stamp
          Record(when, RomA, 23.6f).replace(1, 2, "31").replace(4, 2, "04"),  // 31 April
          Record(when, RomA, 23.6f).replace(26, 1, "G"),                      // not a hex digit
          Record(when, RomA, 23.6f).replace(50, 1, ","),                      // decimal comma
          std::string("[06/12/2026 15:51:09]  Порт открыт")})
        EXPECT_EQ(LogLineKind::Malformed, ParseLogLine(bad, record)) << bad;
    RomCode corrupt = RomA;
    corrupt[7] ^= 1;
    EXPECT_EQ(LogLineKind::Unsound, ParseLogLine(Record(when, corrupt, 20), record));
    EXPECT_EQ(LogLineKind::Unsound, ParseLogLine(Record(when, RomA, 127.9f), record));
    EXPECT_EQ(LogLineKind::Unsound, ParseLogLine(Record(when, RomA, -2028.0f), record));
}

}  // namespace
}  // namespace kv
