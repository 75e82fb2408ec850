#include "platform/home_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/group_access.h"
#include "support/files.h"

namespace fs = std::filesystem;
using platform::HomeLock;
using platform::ShareFilesWithGroup;

namespace {

class HomeLockFile : public ::testing::Test {
  protected:
    void TearDown() override {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }

    TempFolder dir{"vnk_lock"};
    std::string path = (dir / "home" / "vnk-station.lock").string();
    pid_t child = -1;
};

// Locks of one file taken through separate opens exclude each other even within one
// process, as two stations' would.
TEST_F(HomeLockFile, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    HomeLock first;
    ASSERT_EQ(first.take(path), HomeLock::Result::Taken) << first.error();
    EXPECT_TRUE(first.held());

    HomeLock second;
    EXPECT_EQ(second.take(path), HomeLock::Result::HeldElsewhere);
    EXPECT_FALSE(second.held());
    EXPECT_EQ(second.take(path), HomeLock::Result::HeldElsewhere) << "a refusal leaves nothing";

    first.release();
    EXPECT_EQ(second.take(path), HomeLock::Result::Taken);
    EXPECT_EQ(first.take(path), HomeLock::Result::HeldElsewhere);
    EXPECT_EQ(second.take(path), HomeLock::Result::Taken) << "taking it again keeps it";
    EXPECT_EQ(first.take(path), HomeLock::Result::HeldElsewhere);

    {
        HomeLock third;
        second.release();
        EXPECT_EQ(third.take(path), HomeLock::Result::Taken);
    }
    EXPECT_EQ(first.take(path), HomeLock::Result::Taken) << "freed when its holder goes";
}

// The lock file is its owner's, whatever the umask (the missing home folder made first). In a
// program folder shared with a group the next station may be another member's, who must be
// able to open the lock file this one made, or one it made before sharing began.
TEST_F(HomeLockFile, TheLockFileIsTheOwnersOrInASharedHomeTheGroupsToo) {
    const struct {
        mode_t umask;
        bool shared;
        mode_t before, after;  // before 0: no lock file yet
    } cases[] = {{0, false, 0, 0600}, {022, true, 0, 0660}, {022, true, 0600, 0660}};
    for (const auto& c : cases) {
        SCOPED_TRACE(octal(c.before) + (c.shared ? " shared" : ""));
        if (c.before == 0) fs::remove(path);
        if (c.before != 0) {
            ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
        }
        Umask mask(c.umask);
        ShareFilesWithGroup(c.shared);
        HomeLock lock;
        EXPECT_EQ(lock.take(path), HomeLock::Result::Taken) << lock.error();
        EXPECT_EQ(modeOf(path), c.after);
        ShareFilesWithGroup(false);
    }
}

TEST_F(HomeLockFile, HolderKilledHardFreesTheFolder) {
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HomeLock held;
        const char byte = held.take(path) == HomeLock::Result::Taken ? 'y' : 'n';
        if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(byte, 'y');

    HomeLock mine;
    EXPECT_EQ(mine.take(path), HomeLock::Result::HeldElsewhere);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    child = -1;
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(mine.take(path), HomeLock::Result::Taken) << mine.error();
}

// A program the station starts (a help viewer, a file manager) may outlive it; it must not
// keep the folder locked after the station is gone.
TEST_F(HomeLockFile, ProgramStartedByTheHolderDoesNotKeepTheLock) {
    HomeLock holder;
    ASSERT_EQ(holder.take(path), HomeLock::Result::Taken) << holder.error();
    // The child's end of this pipe closes when it has exec'd; a failed exec writes errno.
    int execed[2];
    ASSERT_EQ(::pipe2(execed, O_CLOEXEC), 0);
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        const int err = errno;
        if (::write(execed[1], &err, sizeof err) < 0) ::_exit(126);
        ::_exit(127);
    }
    ::close(execed[1]);
    int err = 0;
    ASSERT_EQ(::read(execed[0], &err, sizeof err), 0) << "exec failed: " << err;
    ::close(execed[0]);

    holder.release();
    HomeLock next;
    EXPECT_EQ(next.take(path), HomeLock::Result::Taken) << "the started program holds it";
    EXPECT_EQ(::waitpid(child, nullptr, WNOHANG), 0) << "it is still running";
}

TEST_F(HomeLockFile, FolderThatCannotHoldTheFileIsUnavailable) {
    std::ofstream(dir / "home") << "a file where the folder should be";
    HomeLock lock;
    EXPECT_EQ(lock.take(path), HomeLock::Result::Unavailable);
    EXPECT_FALSE(lock.held());
    EXPECT_FALSE(lock.error().empty());
}

}  // namespace
