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

// A link someone put at the settings path is replaced by the settings file; the file it
// leads to is never written, nor made when it is missing.
TEST_F(IniStoreTest, ASaveReplacesALinkAtItsPathAndNeverTouchesWhereItLeads) {
    WriteBytes(folder.File("victim.txt"), "precious\n");
    for (const char* target : {"victim.txt", "missing.txt"}) {
        std::filesystem::remove(folder.File("Kalorivox.ini"));
        std::filesystem::create_symlink(folder.File(target), folder.File("Kalorivox.ini"));
        ASSERT_NE(IniCreate(Path()), 0) << target;
        IniWriteInteger(u"Interval", 4);
        IniClose();
        EXPECT_TRUE(std::filesystem::is_regular_file(
            std::filesystem::symlink_status(folder.File("Kalorivox.ini"))))
            << target;
        EXPECT_EQ(Bytes(), std::string(Mark) + "Interval = 4\r\n") << target;
    }
    EXPECT_EQ(Bytes("victim.txt"), "precious\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing.txt")));
}

}  // namespace
}  // namespace kv
