// The event log on a small disk of its own (a tmpfs): full, read-only, log moved away.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "monitor/event_log.h"
#include "monitor/sensor_texts.h"
#include "monitor/status_text.h"
#include "monitor/texts.h"
#include "monitor/window_ids.h"
#include "runtime/integer_text.h"
#include "runtime/text_file.h"
#include "runtime/utf.h"
#include "tests/monitor/log_text.h"
#include "tests/runtime/posix/small_file_system.h"
#include "ui/headless/headless_toolkit.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

using test::Unstamped;
const std::string Bom = test::Mark;

class EventLogOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!disk_.Mounted()) GTEST_SKIP() << "mounting a small tmpfs needs the superuser";
        previous_ = fs::current_path();
        fs::current_path(disk_.File(""));
        toolkit_ = &ui::InstallHeadlessToolkit();
        ui::OpenWindow(MainWindow, 0, 0, 640, 400, u"Kalorivox", 0);
        ui::CreateStatusBar(StatusLine, MainWindow);
        ui::AddStatusField(StatusLine, ui::FillWidth);
        ShowStatus(u"Найдено 1 '1-Wire' устройство.");
    }
    void TearDown() override {
        if (!disk_.Mounted()) return;
        WriteLogStopped();
        TextFileCloseAll();
        ui::ToolkitRelease();
        fs::current_path(previous_);
    }
    std::string log(const std::string& name = Utf8FromUtf16(texts::LogFileName)) {
        return Unstamped(test::FileBytes(disk_.File(name)));
    }
    std::string status() { return Utf8FromUtf16(toolkit_->statusText(StatusLine, 0)); }
    bool noteShown() { return status().find(Utf8FromUtf16(texts::LogWriteFailed)) != npos; }

    static constexpr size_t npos = std::string::npos;
    testing::SmallFileSystem disk_{1024 * 1024};  // room for every record that may wait
    fs::path previous_;
    ui::HeadlessToolkit* toolkit_ = nullptr;
};

TEST_F(EventLogOnDisk, AFullDiskKeepsTheRecordsWaitingSaysSoAndWritesThemWholeWithRoom) {
    WriteLog(u"a");
    disk_.Fill();
    // Longer than the room left in the file's last block: the disk takes a part of it, and
    // that part must not stay behind to be glued to the next record.
    WriteLog(std::u16string(6000, u'b'));
    EXPECT_EQ(log(), Bom + "<stamp>  a\r\n");
    EXPECT_EQ(status(), "Найдено 1 '1-Wire' устройство.    Ошибка записи в лог-файл");
    WriteLog(u"c");
    ShowStatus(u"Найдено 2 '1-Wire'  устройства.");
    EXPECT_TRUE(noteShown()) << "the note stays while records wait";

    disk_.MakeRoom();
    WriteLog(u"d");
    EXPECT_EQ(log(), Bom + "<stamp>  a\r\n<stamp>  " + std::string(6000, 'b') +
                         "\r\n<stamp>  c\r\n<stamp>  d\r\n");
    EXPECT_EQ(status(), "Найдено 2 '1-Wire'  устройства.");
}

// Of more records than wait, the oldest go; once they are written the status line says how
// many were lost, until logging is switched off.
TEST_F(EventLogOnDisk, RecordsBeyondTheWaitingLimitAreLostAndCounted) {
    WriteLog(u"first");
    disk_.Fill();
    // What the file's last block still takes goes at once; from the first record refused on,
    // two more wait than are kept.
    int64_t made = 0;
    while (!noteShown() && made < 1000) WriteLog(u"r" + IntegerToText(made++));
    const int64_t taken = made - 1;
    for (size_t i = 0; i <= LogWaitingLimit; ++i) WriteLog(u"r" + IntegerToText(made++));
    disk_.MakeRoom();
    WriteLog(u"last");
    std::istringstream lines(log());
    std::vector<std::string> records;
    for (std::string line; std::getline(lines, line);) records.push_back(line);
    ASSERT_EQ(records.size(), 1 + taken + LogWaitingLimit + 1);
    EXPECT_EQ(records.front(), Bom + "<stamp>  first\r");
    EXPECT_EQ(records[taken + 1], "<stamp>  r" + std::to_string(taken + 2) + "\r");
    EXPECT_EQ(records.back(), "<stamp>  last\r");
    EXPECT_EQ(status(), "Найдено 1 '1-Wire' устройство.    Потеряно записей лог-файла: 2");
    WriteLogStopped();
    EXPECT_EQ(status(), "Найдено 1 '1-Wire' устройство.");
}

TEST_F(EventLogOnDisk, AReadOnlyFolderIsReportedAndLoggingResumesWhenItIsWritableAgain) {
    ASSERT_TRUE(disk_.SetReadOnly(true));
    WriteLog(u"waited");
    EXPECT_TRUE(noteShown());
    EXPECT_FALSE(fs::exists(disk_.File(Utf8FromUtf16(texts::LogFileName))));
    ASSERT_TRUE(disk_.SetReadOnly(false));
    WriteLog(u"kept");
    EXPECT_FALSE(noteShown());
    EXPECT_EQ(log(), Bom + "<stamp>  waited\r\n<stamp>  kept\r\n");

    // Switching logging off drops what waits and takes the note away.
    TextFileCloseAll();  // a file open for writing keeps the disk from turning read-only
    ASSERT_TRUE(disk_.SetReadOnly(true));
    WriteLog(u"dropped");
    EXPECT_TRUE(noteShown());
    WriteLogStopped();
    EXPECT_FALSE(noteShown());
    ASSERT_TRUE(disk_.SetReadOnly(false));
    WriteLog(u"again");
    EXPECT_EQ(log(), Bom + "<stamp>  waited\r\n<stamp>  kept\r\n<stamp>  again\r\n");
}

TEST_F(EventLogOnDisk, ALogRenamedOrDeletedWhileOpenIsStartedAnewAtTheNextRecord) {
    const std::string name = Utf8FromUtf16(texts::LogFileName);
    WriteLog(u"one");
    fs::rename(disk_.File(name), disk_.File("old.log"));
    WriteLog(u"two");
    EXPECT_EQ(log("old.log"), Bom + "<stamp>  one\r\n");
    EXPECT_EQ(log(), Bom + "<stamp>  two\r\n");

    fs::remove(disk_.File(name));
    WriteLog(u"three");
    EXPECT_EQ(log(), Bom + "<stamp>  three\r\n");
    EXPECT_FALSE(noteShown());
}

}  // namespace
}  // namespace kv
