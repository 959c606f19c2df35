#include "runtime/text_file.h"
#include "runtime/program_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/utf.h"
#include "tests/runtime/temp_folder.h"

namespace kv {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

constexpr int LogNumber = 0;

// The event log's way of adding one record: append to what is there, mark a new file.
void AppendRecord(const std::string& path, std::u16string_view record) {
    if (!TextFileIsOpen(LogNumber)) {
        ASSERT_NE(TextFileOpen(LogNumber, U16(path)), 0);
        const int64_t size = TextFileSize(LogNumber);
        if (size > 0) {
            TextFileSeek(LogNumber, size);
        } else {
            TextFileWriteMark(LogNumber);
        }
    }
    TextFileWriteLine(LogNumber, record);
    TextFileFlush(LogNumber);
}

class TextFileTest : public ::testing::Test {
  protected:
    void TearDown() override { TextFileCloseAll(); }
    TempFolder folder;
};

TEST_F(TextFileTest, FirstRecordOfANewLogStartsWithTheMarkAndEndsWithCrLf) {
    const std::string path = folder.File("new.log");
    AppendRecord(path, u"28-0000045A1B2C-84  \u2014  23.6 \u00B0C");
    EXPECT_EQ(ReadBytes(path),
              "\xEF\xBB\xBF"
              "28-0000045A1B2C-84  \xE2\x80\x94  23.6 \xC2\xB0"
              "C\r\n");
    AppendRecord(path, u"\u0430\u044F");  // Cyrillic: two bytes each
    EXPECT_EQ(ReadBytes(path).substr(ReadBytes(path).size() - 6), "\xD0\xB0\xD1\x8F\r\n");
}

TEST_F(TextFileTest, ReopenedLogsAppendWithoutASecondMarkAndEmptyOnesGetOne) {
    const std::string used = folder.File("used.log");
    WriteBytes(used, "old line\r\n");
    AppendRecord(used, u"new");
    TextFileClose(LogNumber);
    AppendRecord(used, u"");
    EXPECT_EQ(ReadBytes(used), "old line\r\nnew\r\n\r\n");

    TextFileClose(LogNumber);
    const std::string empty = folder.File("empty.log");
    WriteBytes(empty, "");
    AppendRecord(empty, u"x");
    EXPECT_EQ(ReadBytes(empty), "\xEF\xBB\xBFx\r\n");
}

TEST_F(TextFileTest, OpeningNeverTruncatesAndStartsAtOffsetZero) {
    const std::string path = folder.File("keep.txt");
    WriteBytes(path, "abcdef");
    ASSERT_NE(TextFileOpen(3, U16(path)), 0);
    EXPECT_EQ(TextFileSize(3), 6);
    TextFileWriteText(3, u"XY");
    TextFileClose(3);
    EXPECT_EQ(ReadBytes(path), "XYcdef");
    EXPECT_EQ(TextFileIsOpen(3), 0);
}

TEST_F(TextFileTest, BufferHandsDataOnOnlyWhenTheRoomIsNotGreaterThanTheWrite) {
    const std::string path = folder.File("buffer.txt");
    ASSERT_NE(TextFileOpen(1, U16(path)), 0);
    const auto onDisk = [&] { return std::filesystem::file_size(path); };

    EXPECT_EQ(TextFileWriteText(1, std::u16string(4000, u'a')), 4000);
    EXPECT_EQ(onDisk(), 0u);
    // Exactly the free room (96): the pending 4000 go out first, the 96 stay buffered.
    EXPECT_EQ(TextFileWriteText(1, std::u16string(96, u'b')), 96);
    EXPECT_EQ(onDisk(), 4000u);
    // One byte less than the room stays in the buffer: 4095 pending, room 1.
    EXPECT_EQ(TextFileWriteText(1, std::u16string(3999, u'c')), 3999);
    EXPECT_EQ(onDisk(), 4000u);
    EXPECT_EQ(TextFileWriteText(1, u"d"), 1);
    EXPECT_EQ(onDisk(), 4000u + 4095u);
    // The size counts buffered bytes, because it writes them first.
    EXPECT_EQ(TextFileSize(1), 4000 + 4095 + 1);
    EXPECT_EQ(onDisk(), 8096u);
    // 4096 bytes or more bypass the buffer after the pending data.
    TextFileWriteText(1, u"e");
    EXPECT_EQ(TextFileWriteText(1, std::u16string(4096, u'f')), 4096);
    EXPECT_EQ(onDisk(), 8096u + 1 + 4096);
    EXPECT_EQ(TextFileFlush(1), 0);

    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes, std::string(4000, 'a') + std::string(96, 'b') + std::string(3999, 'c') + "d" +
                         "e" + std::string(4096, 'f'));
}

TEST_F(TextFileTest, SeekWritesPendingDataAndMovesThePosition) {
    const std::string path = folder.File("seek.txt");
    ASSERT_NE(TextFileOpen(2, U16(path)), 0);
    TextFileWriteText(2, u"hello world");
    TextFileSeek(2, 6);
    EXPECT_EQ(ReadBytes(path), "hello world");
    TextFileWriteText(2, u"W");
    EXPECT_EQ(TextFileFlush(2), 1);
    EXPECT_EQ(ReadBytes(path), "hello World");
    TextFileWriteLine(2, u"");
    TextFileClose(2);
    EXPECT_EQ(ReadBytes(path), "hello W\r\nld");
}

TEST_F(TextFileTest, NumbersThatAreNotOpenDoNothing) {
    for (int number : {-1, 4, 15, 16, 40, 1 << 20}) {
        EXPECT_EQ(TextFileIsOpen(number), 0);
        EXPECT_EQ(TextFileSize(number), -1);
        EXPECT_EQ(TextFileWriteText(number, u"x"), 0);
        EXPECT_EQ(TextFileWriteLine(number, u"x"), 0);
        EXPECT_EQ(TextFileWriteMark(number), 0);
        EXPECT_EQ(TextFileFlush(number), 0);
        TextFileSeek(number, 0);
        TextFileClose(number);
    }
    EXPECT_EQ(TextFileOpen(-1, U16(folder.File("neg.txt"))), 0);
    EXPECT_EQ(TextFileOpen(1 << 30, U16(folder.File("huge.txt"))), 0);
}

TEST_F(TextFileTest, NumbersBeyondTheFirstSixteenGrowTheTable) {
    const std::string path = folder.File("far.txt");
    ASSERT_NE(TextFileOpen(40, U16(path)), 0);
    EXPECT_EQ(TextFileIsOpen(40), 1);
    EXPECT_EQ(TextFileIsOpen(41), 0);
    EXPECT_EQ(TextFileWriteLine(40, u"far"), 5);
    TextFileCloseAll();
    EXPECT_EQ(TextFileIsOpen(40), 0);
    EXPECT_EQ(ReadBytes(path), "far\r\n");
}

TEST_F(TextFileTest, OthersMayReadButNotOpenForWritingAgain) {
    const std::string path = folder.File("shared.log");
    ASSERT_NE(TextFileOpen(5, U16(path)), 0);
    TextFileWriteText(5, u"visible");
    TextFileFlush(5);
    EXPECT_EQ(ReadBytes(path), "visible");
    // A second writer, even in this process, is refused and the number stays free.
    EXPECT_EQ(TextFileOpen(6, U16(path)), 0);
    EXPECT_EQ(TextFileIsOpen(6), 0);
    // Reopening the same number closes the first file before opening again.
    EXPECT_NE(TextFileOpen(5, U16(path)), 0);
    EXPECT_EQ(TextFileSize(5), 7);
}

TEST_F(TextFileTest, PathsThatCannotBeAWritableFileFail) {
    EXPECT_EQ(TextFileOpen(7, u""), 0);
    EXPECT_EQ(TextFileOpen(7, U16(folder.File(""))), 0);  // the folder itself
    EXPECT_EQ(TextFileOpen(7, U16(folder.File("missing/sub.log"))), 0);
    // A zero character would cut the name short and open some other file.
    std::u16string cut = U16(folder.File("a"));
    cut += u'\0';
    cut += u"b.log";
    EXPECT_EQ(TextFileOpen(7, cut), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.File("a")));
    EXPECT_EQ(TextFileIsOpen(7), 0);
}

TEST_F(TextFileTest, AFileRenamedOrDeletedWhileOpenIsNoLongerAtItsPath) {
    const std::string path = folder.File("moved.log");
    ASSERT_NE(TextFileOpen(4, U16(path)), 0);
    EXPECT_EQ(TextFileIsStillAt(4, U16(path)), 1);
    std::filesystem::rename(path, folder.File("elsewhere.log"));
    EXPECT_EQ(TextFileIsStillAt(4, U16(path)), 0);
    WriteBytes(path, "a new file under the old name");
    EXPECT_EQ(TextFileIsStillAt(4, U16(path)), 0);
    EXPECT_EQ(TextFileIsStillAt(9, U16(path)), 0);  // not open
}

TEST(PathFolderPart, KeepsTheFinalSeparatorAndStopsAtQuoteAndBar) {
    EXPECT_EQ(Utf8FromUtf16(PathFolderPart(u"C:\\Tools\\mon.exe")), "C:\\Tools\\");
    EXPECT_EQ(Utf8FromUtf16(PathFolderPart(u"mon.exe")), "");
    EXPECT_EQ(Utf8FromUtf16(PathFolderPart(u"/opt/kv/kalorivox")), "/opt/kv/");
    EXPECT_EQ(Utf8FromUtf16(PathFolderPart(u"\"C:\\A B\\x.exe\" -arg")), "C:\\A B\\");
    EXPECT_EQ(Utf8FromUtf16(PathFolderPart(u"C:\\a\\b|C:\\c\\d")), "C:\\a\\");
    EXPECT_EQ(Utf8FromUtf16(PathFolderPart(u"")), "");
    EXPECT_EQ(Utf8FromUtf16(PathFolderPart(u"\"")), "");
}

}  // namespace
}  // namespace kv
