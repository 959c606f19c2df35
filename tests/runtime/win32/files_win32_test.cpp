// Files and the program's folder on Windows: share modes against other programs' handles,
// device names, a folder with a Cyrillic name.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/ini_store.h"
#include "runtime/program_path.h"
#include "runtime/text_file.h"
#include "runtime/utf.h"
#include "tests/runtime/ini_store_fixture.h"
#include "tests/runtime/temp_folder.h"

namespace kv {
namespace {

using testing::IniStoreTest;
using testing::Mark;
using testing::TempFolder;

// A handle of "another program" on the file, with the given access and sharing.
class OtherHandle {
  public:
    OtherHandle(const std::string& path, DWORD access, DWORD share) {
        const std::wstring wide = std::filesystem::path(path).wstring();
        handle_ = CreateFileW(wide.c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        error_ = GetLastError();
    }
    ~OtherHandle() {
        if (ok()) CloseHandle(handle_);
    }
    OtherHandle(const OtherHandle&) = delete;
    OtherHandle& operator=(const OtherHandle&) = delete;
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD error() const { return error_; }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD error_ = 0;
};

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TEST(TextFileWin32, AnOpenLogMayBeReadByOthersButNotWritten) {
    TempFolder folder;
    const std::string path = folder.File("shared.log");
    ASSERT_NE(TextFileOpen(5, U16(path)), 0);
    TextFileWriteText(5, u"visible");
    TextFileFlush(5);
    {
        OtherHandle reader(path, GENERIC_READ, ShareAll);
        EXPECT_TRUE(reader.ok()) << reader.error();
        OtherHandle writer(path, GENERIC_WRITE, ShareAll);
        EXPECT_FALSE(writer.ok());
        EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    TextFileClose(5);
    OtherHandle writer(path, GENERIC_WRITE, ShareAll);
    EXPECT_TRUE(writer.ok()) << "the file is free again once closed";
}

TEST(TextFileWin32, ALogHeldForWritingByAnotherProgramIsNotOpened) {
    TempFolder folder;
    const std::string path = folder.File("held.log");
    testing::WriteBytes(path, "theirs");
    OtherHandle holder(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_TRUE(holder.ok());
    EXPECT_EQ(TextFileOpen(5, U16(path)), 0);
    EXPECT_EQ(TextFileIsOpen(5), 0);
}

TEST(TextFileWin32, DeviceNamesAreNoFiles) {
    for (const char16_t* device : {u"NUL", u"CON", u"COM1", u"\\\\.\\NUL"}) {
        EXPECT_EQ(TextFileOpen(7, device), 0) << Utf8FromUtf16(device);
        EXPECT_EQ(TextFileIsOpen(7), 0);
    }
}

TEST_F(IniStoreTest, AFileAnotherProgramReadsWithoutSharingWritesIsLeftUnchanged) {
    const std::string original = "Interval = 3\r\n";
    testing::WriteBytes(folder.File("Kalorivox.ini"), original);
    OtherHandle reader(folder.File("Kalorivox.ini"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(reader.ok());
    ASSERT_NE(IniOpen(Path()), 0) << "read access is still granted";
    EXPECT_EQ(IniReadInteger(u"Interval", 1), 3);
    IniWriteInteger(u"Interval", 9);
    IniClose();
    EXPECT_EQ(Bytes(), original);
}

TEST_F(IniStoreTest, ASaveReplacesAFileThatAReaderSharingDeletionHoldsOpen) {
    testing::WriteBytes(folder.File("Kalorivox.ini"), "Interval = 3\r\n");
    OtherHandle reader(folder.File("Kalorivox.ini"), GENERIC_READ, ShareAll);
    ASSERT_TRUE(reader.ok());
    ASSERT_NE(IniCreate(Path()), 0);
    IniWriteInteger(u"Interval", 4);
    IniClose();
    EXPECT_EQ(Bytes(), std::string(Mark) + "Interval = 4\r\n");
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.File(""))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(ProgramFolderWin32, TheProgramsFolderAndACyrillicFolderBecomeCurrent) {
    const std::u16string self = ProgramFilePath();
    ASSERT_FALSE(self.empty());
    EXPECT_NE(Utf8FromUtf16(self).find("kv_runtime_tests.exe"), std::string::npos)
        << Utf8FromUtf16(self);
    const auto before = std::filesystem::current_path();
    ASSERT_NE(SetCurrentFolder(PathFolderPart(self)), 0);
    EXPECT_EQ(std::filesystem::current_path().u16string() + u"\\", PathFolderPart(self));

    // A program kept in "Термометр" under the user's folder finds its log there.
    TempFolder temp;
    const std::u16string folder =
        U16(temp.File("")) + u"\u0422\u0435\u0440\u043C\u043E\u043C\u0435\u0442\u0440";
    ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::path(folder)));
    ASSERT_NE(SetCurrentFolder(PathFolderPart(folder + u"\\kalorivox.exe")), 0);
    ASSERT_NE(TextFileOpen(9, u"here.log"), 0);
    TextFileClose(9);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder + u"\\here.log")));
    ASSERT_NE(IniCreate(u"Kalorivox.ini"), 0);
    IniWriteString(u"Port", u"COM3");
    IniClose();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder + u"\\Kalorivox.ini")));

    EXPECT_EQ(SetCurrentFolder(u""), 0);
    EXPECT_EQ(SetCurrentFolder(u"Z:\\no\\such\\folder\\anywhere"), 0);
    std::filesystem::current_path(before);
}

}  // namespace
}  // namespace kv
