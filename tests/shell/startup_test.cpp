// What start-up does when a step it relies on fails: it says so instead of running half.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/utf.h"
#include "shell/program.h"
#include "shell/settings.h"
#include "shell/texts.h"
#include "tests/shell/program_fixture.h"

namespace kv::testing {
namespace {

using StartUp = ProgramTest;

TEST_F(StartUp, AFolderThatCannotBeMadeCurrentIsReportedAndNothingIsWrittenElsewhere) {
    std::filesystem::current_path(folder);
    const auto missing = folder / "gone" / "";
    EXPECT_FALSE(ProgramStart(Utf16FromUtf8(missing.string())));
    ASSERT_EQ(ui->messageBoxes().size(), 1u);
    EXPECT_EQ(ui->messageBoxes()[0].caption, texts::StartFailedCaption);
    EXPECT_EQ(ui->messageBoxes()[0].text, texts::FolderChangeFailed);
    EXPECT_EQ(std::filesystem::current_path(), folder);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(StartUp, SignalsThatCannotBeForwardedAreReportedAndTheProgramRunsOn) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' runtime opens a pipe of its own to tell whether memory can be read; with
    // no descriptor left it takes sound objects for broken ones. The normal build runs this.
    GTEST_SKIP() << "needs free descriptors under the sanitizers";
#endif
    // No descriptor left for the pipe that forwards the signals.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const bool started = ProgramStart(Utf16FromUtf8(folder.string() + "/"));
    ::setrlimit(RLIMIT_NOFILE, &saved);
    running = started;

    EXPECT_TRUE(started);
    ASSERT_EQ(ui->messageBoxes().size(), 1u);
    EXPECT_EQ(ui->messageBoxes()[0].text, texts::SignalSetupFailed);
    Stop();
    EXPECT_TRUE(SettingsExist());  // the shutdown saved as usual
}

}  // namespace
}  // namespace kv::testing
