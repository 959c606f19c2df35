#include "runtime/ini_store.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "runtime/utf.h"
#include "tests/runtime/posix/small_file_system.h"
#include "tests/runtime/temp_folder.h"

namespace kv {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

using namespace std::string_view_literals;

constexpr char Mark[] = "\xEF\xBB\xBF\r\n";

class IniStoreTest : public ::testing::Test {
  protected:
    void TearDown() override { IniClose(); }

    std::u16string Path(const std::string& name = "Kalorivox.ini") const {
        return U16(folder.File(name));
    }
    std::string Bytes(const std::string& name = "Kalorivox.ini") const {
        return ReadBytes(folder.File(name));
    }
    // Opens a file holding exactly these bytes.
    void OpenWith(const std::string& bytes) {
        WriteBytes(folder.File("Kalorivox.ini"), bytes);
        ASSERT_NE(IniOpen(Path()), 0);
    }
    static std::string Read(std::u16string_view key) {
        return Utf8FromUtf16(IniReadString(key, u"<default>"));
    }

    TempFolder folder;
};

TEST_F(IniStoreTest, SaveWritesTheMarkLineAndOneCrLfLinePerKeyInFirstWrittenOrder) {
    ASSERT_NE(IniCreate(Path()), 0);
    IniWriteString(u"Port", u"COM3");
    IniWriteInteger(u"Interval", 5);
    IniWriteString(u"port", u"COM4");  // same key: keeps its place, takes this spelling
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "port = COM4\r\nInterval = 5\r\n");

    ASSERT_NE(IniCreate(Path()), 0);
    IniWriteString(u"Port", u"COM3");
    IniWriteInteger(u"Interval", 5);
    IniClose();
    EXPECT_EQ(Bytes(), "\xEF\xBB\xBF\x0D\x0APort = COM3\x0D\x0AInterval = 5\x0D\x0A");
}

TEST_F(IniStoreTest, AnEmptyValueKeepsTheBlankAfterTheEqualsSignAndReadsBackEmpty) {
    ASSERT_NE(IniCreate(Path()), 0);
    IniWriteString(u"Port", u"");
    IniWriteInteger(u"ThermoMin", -2147483647 - 1);
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "Port = \r\nThermoMin = -2147483648\r\n");
    ASSERT_NE(IniOpen(Path()), 0);
    EXPECT_EQ(Read(u"Port"), "");
    EXPECT_EQ(IniReadInteger(u"ThermoMin", 0), -2147483647 - 1);
}

TEST_F(IniStoreTest, CreateStartsEmptyAndTheFileKeepsItsOldBytesUntilTheClose) {
    const std::string old = "Old = 1\r\n[Group]\r\nKept = 2\r\n";
    WriteBytes(folder.File("Kalorivox.ini"), old);
    ASSERT_NE(IniCreate(Path()), 0);
    EXPECT_EQ(Read(u"Old"), "<default>");
    // A crash while the document is open must not leave an empty settings file.
    EXPECT_EQ(Bytes(), old);
    IniClose();
    EXPECT_EQ(Bytes(), "");

    ASSERT_NE(IniCreate(Path()), 0);
    IniWriteInteger(u"New", 3);
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "New = 3\r\n");
}

TEST_F(IniStoreTest, AMissingFileGivesDefaultsAndIsCreatedOnlyWhenWritten) {
    EXPECT_EQ(IniOpen(Path()), 0);
    EXPECT_EQ(Read(u"Port"), "<default>");
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 1);
    EXPECT_EQ(Utf8FromUtf16(IniReadString(u"Port")), "");
    IniClose();
    EXPECT_FALSE(std::filesystem::exists(folder.File("Kalorivox.ini")));

    EXPECT_EQ(IniOpen(Path()), 0);
    IniWriteInteger(u"Interval", 7);
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 7);  // held in memory meanwhile
    EXPECT_FALSE(std::filesystem::exists(folder.File("Kalorivox.ini")));
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "Interval = 7\r\n");
}

TEST_F(IniStoreTest, WithoutADocumentReadsGiveDefaultsAndWritesAreDropped) {
    IniClose();
    IniWriteString(u"Port", u"COM1");
    EXPECT_EQ(Read(u"Port"), "<default>");
    EXPECT_EQ(IniReadInteger(u"Interval", 9), 9);
    // A create that fails leaves no document either.
    EXPECT_EQ(IniCreate(U16(folder.File("no/such/folder/x.ini"))), 0);
    IniWriteString(u"Port", u"COM1");
    EXPECT_EQ(Read(u"Port"), "<default>");
    IniClose();
    EXPECT_EQ(IniCreate(U16(folder.File(""))), 0);  // a folder is no settings file
    EXPECT_EQ(IniCreate(u""), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.File("no")));
}

TEST_F(IniStoreTest, AFileOpenedReadOnlyIsLeftUnchangedAtClose) {
    const std::string original = "Interval = 3\r\n";
    WriteBytes(folder.File("Kalorivox.ini"), original);
    // Another program reading the file under a shared lock denies us write access.
    const int reader = ::open(folder.File("Kalorivox.ini").c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(::flock(reader, LOCK_SH | LOCK_NB), 0);
    ASSERT_NE(IniOpen(Path()), 0);
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 3);
    IniWriteInteger(u"Interval", 9);
    IniClose();
    ::close(reader);
    EXPECT_EQ(Bytes(), original);
}

TEST_F(IniStoreTest, WhileOneThreadHoldsTheFileForWritingOthersReadButCannotOverwrite) {
    WriteBytes(folder.File("Kalorivox.ini"), "Interval = 3\r\n");
    ASSERT_NE(IniOpen(Path()), 0);  // this thread: read-write
    std::thread other([&] {
        // Falls back to reading without a lock; its writes are dropped at close.
        EXPECT_NE(IniOpen(Path()), 0);
        EXPECT_EQ(IniReadInteger(u"Interval", 1), 3);
        IniWriteInteger(u"Interval", 50);
        IniClose();
        // A create would truncate the file under the writer: it is refused instead.
        EXPECT_EQ(IniCreate(Path()), 0);
    });
    other.join();
    IniWriteInteger(u"Interval", 4);
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "Interval = 4\r\n");
}

TEST(IniStoreSave, AFullDiskLeavesTheOldFileWholeAndTheNextSaveWithRoomWritesTheNewOne) {
    testing::SmallFileSystem disk(64 * 1024);
    KV_REQUIRE_SMALL_FILE_SYSTEM(disk);
    const std::u16string path = U16(disk.File("Kalorivox.ini"));
    const std::string old = std::string(Mark) + "Port = COM3\r\nInterval = 5\r\n";
    testing::WriteBytes(disk.File("Kalorivox.ini"), old);
    const std::string longPort(3000, 'P');  // more than the room left on the full disk

    disk.Fill();
    ASSERT_NE(IniCreate(path), 0);
    IniWriteString(u"Port", U16(longPort));
    IniWriteInteger(u"Interval", 7);
    IniClose();
    EXPECT_EQ(testing::ReadBytes(disk.File("Kalorivox.ini")), old);
    // Nothing of the failed attempt stays behind in the folder either.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk.File("")),
                            std::filesystem::directory_iterator()),
              2);

    disk.MakeRoom();
    ASSERT_NE(IniCreate(path), 0);
    IniWriteString(u"Port", U16(longPort));
    IniWriteInteger(u"Interval", 7);
    IniClose();
    EXPECT_EQ(testing::ReadBytes(disk.File("Kalorivox.ini")),
              std::string(Mark) + "Port = " + longPort + "\r\nInterval = 7\r\n");
}

TEST(IniStoreSave, AReadOnlyFileOrDiskIsNotWrittenAndAReplacedFileKeepsItsPermissions) {
    testing::SmallFileSystem disk(64 * 1024);
    KV_REQUIRE_SMALL_FILE_SYSTEM(disk);
    const std::string file = disk.File("Kalorivox.ini");
    const std::u16string path = U16(file);
    testing::WriteBytes(file, "Interval = 3\r\n");
    std::filesystem::permissions(file, std::filesystem::perms(0640));
    ASSERT_NE(IniCreate(path), 0);
    IniWriteInteger(u"Interval", 4);
    IniClose();
    EXPECT_EQ(testing::ReadBytes(file), std::string(Mark) + "Interval = 4\r\n");
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640));

    ASSERT_TRUE(disk.SetReadOnly(true));
    EXPECT_EQ(IniCreate(path), 0);
    ASSERT_NE(IniOpen(path), 0);
    IniWriteInteger(u"Interval", 5);
    IniClose();
    ASSERT_TRUE(disk.SetReadOnly(false));
    EXPECT_EQ(testing::ReadBytes(file), std::string(Mark) + "Interval = 4\r\n");
}

TEST_F(IniStoreTest, ASaveThroughASymbolicLinkReplacesTheFileItPointsTo) {
    WriteBytes(folder.File("real.ini"), "Interval = 3\r\n");
    std::filesystem::create_symlink(folder.File("real.ini"), folder.File("Kalorivox.ini"));
    ASSERT_NE(IniCreate(Path()), 0);
    IniWriteInteger(u"Interval", 4);
    IniClose();
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("Kalorivox.ini")));
    EXPECT_EQ(Bytes("real.ini"), std::string(Mark) + "Interval = 4\r\n");
}

TEST_F(IniStoreTest, AThreadsDocumentIsWrittenWhenTheThreadEnds) {
    std::thread worker([&] {
        ASSERT_NE(IniCreate(Path("worker.ini")), 0);
        IniWriteString(u"Who", u"worker");
    });
    worker.join();
    EXPECT_EQ(Bytes("worker.ini"), std::string(Mark) + "Who = worker\r\n");
    // This thread's document was never involved.
    EXPECT_EQ(Read(u"Who"), "<default>");
}

TEST_F(IniStoreTest, KeysMatchIgnoringAsciiCaseAndBlanksAroundTheEqualsSign) {
    for (const char* line : {"Interval=12", "interval = 12", "INTERVAL\t=\t12", "  \tInterval  =12",
                             "\tINTERVAL   =    12   "}) {
        OpenWith(std::string(line) + "\r\n");
        EXPECT_EQ(IniReadInteger(u"Interval", 1), 12) << line;
        IniClose();
    }
    // Only A-Z fold: Cyrillic letters must match exactly.
    OpenWith("\xEF\xBB\xBF\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82 = 1\r\n");
    EXPECT_EQ(IniReadInteger(u"\u041F\u043E\u0440\u0442", 0), 1);
    EXPECT_EQ(IniReadInteger(u"\u043F\u043E\u0440\u0442", 0), 0);
}

TEST_F(IniStoreTest, OnlyTheUngroupedPartCountsAndTheFirstOccurrenceWins) {
    OpenWith("Port = COM1\r\nport = COM2\r\n[Main]\r\nInterval = 9\r\n");
    EXPECT_EQ(Read(u"Port"), "COM1");
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 1);
    IniClose();
    OpenWith("[Main]\r\nPort = COM1\r\n");
    EXPECT_EQ(Read(u"Port"), "<default>");
}

TEST_F(IniStoreTest, LineEndsOfAnyKindAndKeysWithoutAnEqualsSign) {
    for (const char* text : {"Port\r\nInterval = 3\r\n", "Port\nInterval = 3\n",
                             "\r\n\r\nPort\r\r\n\nInterval = 3", "Port\rInterval = 3"}) {
        OpenWith(text);
        EXPECT_EQ(Read(u"Port"), "");
        EXPECT_EQ(IniReadInteger(u"Interval", 1), 3);
        IniClose();
    }
    OpenWith("=5\r\nKey = a = b\r\n#Hash = 1\r\nSemi = x;y\r\n");
    EXPECT_EQ(Read(u""), "5");
    EXPECT_EQ(Read(u"Key"), "a = b");
    EXPECT_EQ(Read(u"#Hash"), "1");
    EXPECT_EQ(Read(u"Semi"), "x;y");
}

TEST_F(IniStoreTest, ValuesAreTrimmedAndIntegersReadLikeAtoi) {
    OpenWith(
        "Port = COM3   \r\nA = 12abc\r\nB = abc\r\nC =\r\nD = -5\r\nE = +7\r\n"
        "F = 99999999999\r\nG = -99999999999\r\nH = 2147483647\r\nI = -2147483648\r\n"
        "J = - 5\r\n");
    EXPECT_EQ(Read(u"Port"), "COM3");
    EXPECT_EQ(IniReadInteger(u"A", 1), 12);
    EXPECT_EQ(IniReadInteger(u"B", 1), 0);
    EXPECT_EQ(IniReadInteger(u"C", 1), 0);
    EXPECT_EQ(IniReadInteger(u"D", 1), -5);
    EXPECT_EQ(IniReadInteger(u"E", 1), 7);
    // Beyond 32 bits the number saturates instead of wrapping.
    EXPECT_EQ(IniReadInteger(u"F", 1), 2147483647);
    EXPECT_EQ(IniReadInteger(u"G", 1), -2147483647 - 1);
    EXPECT_EQ(IniReadInteger(u"H", 1), 2147483647);
    EXPECT_EQ(IniReadInteger(u"I", 1), -2147483647 - 1);
    EXPECT_EQ(IniReadInteger(u"J", 1), 0);
    EXPECT_EQ(IniReadInteger(u"Missing", -3), -3);
}

TEST_F(IniStoreTest, WithoutTheMarkBytesAreIso8859OneAndTheRewriteAddsTheMark) {
    OpenWith("Name = caf\xE9\r\n");
    EXPECT_EQ(IniReadString(u"Name"), u"caf\u00E9");
    IniWriteString(u"Unit", u"\u00B0C");
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) +
                           "Name = caf\xC3\xA9\r\nUnit = \xC2\xB0"
                           "C\r\n");
}

TEST_F(IniStoreTest, RewriteInPlaceKeepsCommentsAndGroupsAndInsertsBeforeTheFirstGroup) {
    OpenWith("\xEF\xBB\xBF;first\r\n;  second\r\nPort = COM1\r\n[Other] tail\r\nX = 1\r\n");
    IniWriteString(u"Interval", u"5");
    IniWriteString(u"PORT", u"COM12");
    IniClose();
    EXPECT_EQ(Bytes(),
              std::string(Mark) +
                  "; first\r\n;  second\r\nPORT = COM12\r\nInterval = 5\r\n[Other]\r\nX = 1\r\n");
    OpenWith("[Only]\r\n");
    IniWriteString(u"Port", u"COM2");
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "Port = COM2\r\n[Only]\r\n");
}

TEST_F(IniStoreTest, AnEmptyFileStaysWithoutTheMarkUnlessTheTextNeedsIt) {
    OpenWith("");
    IniWriteString(u"Port", u"COM3");
    IniClose();
    EXPECT_EQ(Bytes(), "Port = COM3\r\n");
    // Written without the mark, Cyrillic would read back as ISO 8859-1 next time.
    OpenWith("");
    IniWriteString(u"Port", u"\u041F\u043E\u0440\u0442");
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "Port = \xD0\x9F\xD0\xBE\xD1\x80\xD1\x82\r\n");
    ASSERT_NE(IniOpen(Path()), 0);
    EXPECT_EQ(IniReadString(u"Port"), u"\u041F\u043E\u0440\u0442");
    IniClose();
    // A mark alone is a marked file.
    OpenWith("\xEF\xBB\xBF");
    IniWriteInteger(u"A", 1);
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "A = 1\r\n");
}

TEST_F(IniStoreTest, LineBreaksInWrittenTextCannotInjectKeys) {
    ASSERT_NE(IniCreate(Path()), 0);
    IniWriteString(u"Port", u"COM3\r\nInterval = 99");
    IniWriteString(u"Odd\nKey", u"v");
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "Port = COM3  Interval = 99\r\nOdd Key = v\r\n");
    ASSERT_NE(IniOpen(Path()), 0);
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 1);
}

TEST_F(IniStoreTest, BadBytesLoadWithoutHarmAndKeepTheirPlace) {
    // NUL bytes are ordinary bytes of a line; invalid UTF-8 reads as U+FFFD.
    OpenWith(std::string("\xEF\xBB\xBFPort = A\0B\r\nBad = \xFF\xC3\r\nInterval = 4\r\n"sv));
    EXPECT_EQ(IniReadString(u"Port"), std::u16string(u"A\0B", 3));
    EXPECT_EQ(IniReadString(u"Bad"), u"\uFFFD\uFFFD");
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 4);
    IniWriteInteger(u"Interval", 5);
    IniClose();
    EXPECT_EQ(Bytes(), "\xEF\xBB\xBF\r\nPort = A\0B\r\nBad = \xFF\xC3\r\nInterval = 5\r\n"sv);

    std::string garbage;
    uint32_t seed = 12345;
    for (int i = 0; i < 100000; ++i) {
        seed = seed * 1103515245u + 12345u;
        garbage.push_back(static_cast<char>(seed >> 24));
    }
    // Whatever the garbage holds cannot change a line in front of it.
    OpenWith("Interval = 6\n" + garbage);
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 6);
    IniWriteInteger(u"Interval", 6);
    IniClose();
    const std::string rewritten = Bytes();
    ASSERT_NE(IniOpen(Path()), 0);
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 6);
    IniWriteInteger(u"Interval", 6);
    IniClose();
    EXPECT_EQ(Bytes(), rewritten);  // a second load and save changes nothing more
}

TEST_F(IniStoreTest, HugeFilesAreReadOnlyUpToTheCapAndNeverOverwritten) {
    // A line of 1 MB, then a key: within the cap, so the rules apply in full.
    OpenWith(std::string(1 << 20, 'x') + "\r\nInterval = 7\r\n");
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 7);
    IniClose();

    // 100 MB (sparse, so the test stays quick): only the head is read.
    const std::string path = folder.File("Kalorivox.ini");
    WriteBytes(path, "Interval = 8\r\nPort = COM9\r\n");
    std::filesystem::resize_file(path, 100u << 20);
    ASSERT_NE(IniOpen(Path()), 0);
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 8);
    EXPECT_EQ(Read(u"Port"), "COM9");
    IniWriteInteger(u"Interval", 2);
    IniClose();
    EXPECT_EQ(std::filesystem::file_size(path), 100u << 20);
    ASSERT_NE(IniOpen(Path()), 0);
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 8);
    IniClose();

    // The cut never hands out half a line: a key straddling the cap is dropped whole.
    const size_t cap = 2 * 1024 * 1024;
    const std::string head = "A = 1\n" + std::string(cap - 15, ' ') + "\n";
    ASSERT_EQ(head.size(), cap - 8);  // the cap falls after "B = 1234"
    OpenWith(head + "B = 123456\n");
    EXPECT_EQ(IniReadInteger(u"A", 0), 1);
    EXPECT_EQ(IniReadInteger(u"B", -1), -1);
}

}  // namespace
}  // namespace kv
