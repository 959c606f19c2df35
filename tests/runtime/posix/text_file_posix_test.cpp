// Text files and the program's folder on POSIX: pipes, /proc, folder names in bytes that
// are not UTF-8.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/program_path.h"
#include "runtime/text_file.h"
#include "runtime/utf.h"
#include "tests/runtime/posix/small_file_system.h"
#include "tests/runtime/temp_folder.h"

namespace kv {
namespace {

using testing::TempFolder;

TEST(TextFilePosix, APipeDoesNotHangTheOpener) {
    TempFolder folder;
    const std::string fifo = folder.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(TextFileOpen(7, U16(fifo)), 0);
    EXPECT_EQ(TextFileIsOpen(7), 0);
}

TEST(ProgramFilePath, NamesThisTestProgramAndItsFolderBecomesCurrent) {
    const std::u16string self = ProgramFilePath();
    ASSERT_FALSE(self.empty());
    EXPECT_TRUE(std::filesystem::equivalent(Utf8FromUtf16(self), "/proc/self/exe"));

    const auto before = std::filesystem::current_path();
    const std::u16string folder = ProgramFolder();
    EXPECT_TRUE(std::filesystem::equivalent(
        Utf8FromUtf16(folder), std::filesystem::read_symlink("/proc/self/exe").parent_path()));
    ASSERT_NE(SetCurrentFolder(folder), 0);
    EXPECT_TRUE(
        std::filesystem::equivalent(std::filesystem::current_path(), Utf8FromUtf16(folder)));
    // A folder whose name is not UTF-8 must still be found from the program's path.
    TempFolder temp;
    const std::string latin = temp.File("caf\xE9");
    ASSERT_TRUE(std::filesystem::create_directory(latin));
    ASSERT_NE(SetCurrentFolder(PathFolderPart(Utf16FromPathBytes(latin + "/kalorivox"))), 0);
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), latin));
    ASSERT_NE(TextFileOpen(9, u"here.log"), 0);
    TextFileClose(9);
    EXPECT_TRUE(std::filesystem::exists(latin + "/here.log"));

    EXPECT_EQ(SetCurrentFolder(u""), 0);
    EXPECT_EQ(SetCurrentFolder(u"/no/such/folder/anywhere"), 0);
    std::filesystem::current_path(before);
}

TEST(TextFileOnDisk, AWriteTheDiskTakesOnlyPartOfIsDroppedWholeAndTheFlushSaysSo) {
    testing::SmallFileSystem disk(64 * 1024);
    KV_REQUIRE_SMALL_FILE_SYSTEM(disk);
    const std::string path = disk.File("x.log");
    ASSERT_NE(TextFileOpen(3, U16(path)), 0);
    TextFileWriteLine(3, u"kept");
    EXPECT_EQ(TextFileFlush(3), 6);
    disk.Fill();
    EXPECT_EQ(TextFileWriteLine(3, std::u16string(5000, u'x')), 0);  // handed over at once
    TextFileWriteLine(3, u"short");
    EXPECT_EQ(TextFileFlush(3), -1);  // tells of the refused write since the last flush
    EXPECT_EQ(testing::ReadBytes(path), "kept\r\nshort\r\n");
    EXPECT_EQ(TextFileFlush(3), 0);  // told once
    TextFileCloseAll();
}

// A link someone put where a log is appended to is replaced by a file of its own: the
// file it leads to is never written, nor made when it is missing.
TEST(TextFilePosix, ALinkAtTheLogPathIsReplacedAndWhereItLeadsIsNeverTouched) {
    TempFolder folder;
    testing::WriteBytes(folder.File("victim.txt"), "precious\n");
    const std::string log = folder.File("DS18B20_Kalorivox.log");
    for (const char* target : {"victim.txt", "missing.txt"}) {
        std::filesystem::remove(log);
        std::filesystem::create_symlink(folder.File(target), log);
        ASSERT_NE(TextFileOpen(5, U16(log)), 0) << target;
        TextFileWriteLine(5, u"record");
        EXPECT_EQ(TextFileFlush(5), 8);
        TextFileClose(5);
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(log)));
        EXPECT_EQ(testing::ReadBytes(log), "record\r\n") << target;
    }
    EXPECT_EQ(testing::ReadBytes(folder.File("victim.txt")), "precious\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing.txt")));
}

// Windows keeps a deleted file that is still open until its last handle goes (and Wine
// does not tell it apart until then), so this is asked of POSIX only.
TEST(TextFilePosix, AFileDeletedWhileOpenIsNoLongerAtItsPath) {
    TempFolder folder;
    const std::string path = folder.File("deleted.log");
    ASSERT_NE(TextFileOpen(4, U16(path)), 0);
    std::filesystem::remove(path);
    EXPECT_EQ(TextFileIsStillAt(4, U16(path)), 0);
    TextFileClose(4);
}

}  // namespace
}  // namespace kv
