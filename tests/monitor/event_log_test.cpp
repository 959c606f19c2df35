#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "monitor/event_log.h"
#include "monitor/log_line.h"
#include "monitor/sensor_texts.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "runtime/text_file.h"
#include "runtime/utf.h"
#include "tests/monitor/log_text.h"
#include "ui/headless/headless_toolkit.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

using test::Unstamped;
const std::string Bom = test::Mark;

class EventLog : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = fs::current_path();
        folder_ = fs::temp_directory_path() / ("kv-log-" + std::to_string(std::random_device{}()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::current_path(folder_);
    }
    void TearDown() override {
        WriteLogStopped();  // nothing waits for the next test's file
        TextFileCloseAll();
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }
    std::string contents() {
        TextFileFlush(LogFileNumber);
        return test::FileBytes(folder_ / Utf8FromUtf16(texts::LogFileName));
    }
    void preset(const std::string& bytes) {
        std::ofstream(folder_ / Utf8FromUtf16(texts::LogFileName), std::ios::binary) << bytes;
    }

    fs::path previous_;
    fs::path folder_;
};

TEST_F(EventLog, FirstRecordStartsANewFileWithTheMark) {
    const RomCode rom{0x28, 0x2C, 0x1B, 0x5A, 0x04, 0x00, 0x00, 0x84};
    WriteLog(LogReadingText(FormatRomCode(rom), 23.5625f));
    EXPECT_EQ(Unstamped(contents()), Bom +
                                         "<stamp>  28-0000045A1B2C-84  \xE2\x80\x94  23.6 \xC2\xB0"
                                         "C\r\n");
}

TEST_F(EventLog, EmptyFileGetsTheMarkNonEmptyFileIsAppendedTo) {
    preset("");
    WriteLog(u"a");
    EXPECT_EQ(contents().substr(0, 3), Bom);
    TextFileCloseAll();

    fs::remove(folder_ / Utf8FromUtf16(texts::LogFileName));
    preset("old line\r\n");
    WriteLog(u"b");
    WriteLog(u"c");
    EXPECT_EQ(Unstamped(contents()), "old line\r\n<stamp>  b\r\n<stamp>  c\r\n");
}

TEST_F(EventLog, LineBreaksInTheTextBecomeBlanksAndEmptyTextIsJustALineEnd) {
    WriteLog(u"one\ntwo\rthree\r\n");
    WriteLog(u"");
    EXPECT_EQ(Unstamped(contents()), Bom + "<stamp>  one two three  \r\n\r\n");
}

TEST_F(EventLog, AFileThatCannotBeOpenedKeepsTheRecordWaitingAndIsRetriedLater) {
    // A folder in the file's place cannot be opened as a file, not even by root.
    const fs::path blocker = folder_ / Utf8FromUtf16(texts::LogFileName);
    fs::create_directory(blocker);
    WriteLog(u"waited");
    EXPECT_EQ(TextFileIsOpen(LogFileNumber), 0);
    fs::remove(blocker);
    WriteLog(u"kept");
    EXPECT_EQ(Unstamped(contents()), Bom + "<stamp>  waited\r\n<stamp>  kept\r\n");
}

TEST_F(EventLog, RecordsReachTheFileAtOnce) {
    WriteLog(u"x");
    // Read through another handle without flushing ours: the record is already there.
    EXPECT_EQ(Unstamped(test::FileBytes(folder_ / Utf8FromUtf16(texts::LogFileName))),
              Bom + "<stamp>  x\r\n");
}

// The log on a small disk of its own, with a window whose status line can be read.
}  // namespace
}  // namespace kv
