// The settings store on POSIX: locks taken by other programs, small and read-only disks,
// symbolic links.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/ini_store.h"
#include "runtime/utf.h"
#include "tests/runtime/ini_store_fixture.h"
#include "tests/runtime/posix/small_file_system.h"

namespace kv {
namespace {

using testing::IniStoreTest;
using testing::Mark;
using testing::WriteBytes;

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

}  // namespace
}  // namespace kv
