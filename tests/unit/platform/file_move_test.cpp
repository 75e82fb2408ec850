// The archive move's two halves on the real back ends: a copy that never stands under its
// real name unless whole and never replaces a file, kill -9 included; and work run off the
// Qt loop, its report back on the loop, in order, with the exit waiting for it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/real/qt_loop.h"
#include "support/files.h"
#include "support/qt_app.h"
#include "support/sync_log.h"

namespace {

namespace fs = std::filesystem;

class FileMove : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "data");
        fs::create_directories(dir / "archive");
    }
    std::string src(const char* name) const { return (dir / "data" / name).string(); }
    std::string dst(const char* name) const { return (dir / "archive" / name).string(); }
    TempFolder dir{"vnk_file_move"};
    platform::PosixFileSystem files;
};

TEST_F(FileMove, ACopyNeverReplacesAFileAndTakesItsNameOnlyWhole) {
    std::ofstream(src("a_1.csv")) << "new run";
    std::ofstream(dst("a_1.csv")) << "older run";
    EXPECT_EQ(files.copyFile(src("a_1.csv"), dst("a_1.csv")), platform::CopyResult::Exists);
    EXPECT_EQ(readFile(dst("a_1.csv")), "older run");
    EXPECT_FALSE(fs::exists(platform::PartialCopyName(dst("a_1.csv"))));

    // What a copy killed earlier left: written over, and the name appears with the whole.
    std::ofstream(platform::PartialCopyName(dst("b_1.csv"))) << "half of an earl";
    std::ofstream(src("b_1.csv")) << "the whole file";
    synclog::Take();
    EXPECT_EQ(files.copyFile(src("b_1.csv"), dst("b_1.csv")), platform::CopyResult::Copied);
    // The copy reaches the disk under its hidden name, then the folder that names it.
    const std::string archive = fs::canonical(dir / "archive").string();
    EXPECT_EQ(synclog::Take(), (std::vector<std::string>{archive + "/.b_1.csv.part", archive}));
    EXPECT_EQ(readFile(dst("b_1.csv")), "the whole file");
    EXPECT_FALSE(fs::exists(platform::PartialCopyName(dst("b_1.csv"))));
    EXPECT_EQ(readFile(src("b_1.csv")), "the whole file") << "copying never touches the source";

    EXPECT_EQ(files.copyFile(src("none.csv"), dst("none.csv")), platform::CopyResult::Failed);
    EXPECT_FALSE(fs::exists(dst("none.csv")));
}

TEST_F(FileMove, AKillInTheMiddleOfACopyLeavesTheSourceWholeAndNothingUnderTheRealName) {
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 23);
    {
        std::ofstream big(src("big_1.csv"), std::ios::binary);
        for (int i = 0; i < 96; ++i) big << block;
    }
    const auto size = fs::file_size(src("big_1.csv"));
    const std::string partial = platform::PartialCopyName(dst("big_1.csv"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::PosixFileSystem inChild;
        inChild.copyFile(src("big_1.csv"), dst("big_1.csv"));
        ::_exit(0);
    }
    const auto t0 = std::chrono::steady_clock::now();
    std::error_code ec;
    while (!(fs::exists(partial) && fs::file_size(partial, ec) > 0) &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the copy ended before the kill: make the file bigger";
    EXPECT_FALSE(fs::exists(dst("big_1.csv")));
    EXPECT_EQ(fs::file_size(src("big_1.csv")), size);
    EXPECT_LT(fs::file_size(partial, ec), size);
    // The next move takes it whole.
    EXPECT_EQ(files.copyFile(src("big_1.csv"), dst("big_1.csv")), platform::CopyResult::Copied);
    EXPECT_EQ(fs::file_size(dst("big_1.csv")), size);
    EXPECT_FALSE(fs::exists(partial));
}

class Background : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestQtApp<>::start(); }
    static void TearDownTestSuite() { TestQtApp<>::stop(); }
};

}  // namespace
