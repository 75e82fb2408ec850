// Files in a program folder shared by a group: which folders count as shared, and the umask
// the station then runs with. The modes of the private files themselves are tested with
// their owners (registry_test, home_lock_test, journal_test).
#include "platform/group_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/files.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

TEST(GroupAccess, AFolderIsSharedWhenItsGroupMayWriteInIt) {
    const TempFolder dir("vnk_share");
    const struct {
        mode_t mode;
        bool shared;
    } cases[] = {{02770, true}, {0770, true},   {0775, true}, {0755, false},
                 {0700, false}, {02750, false}, {0757, false}};
    for (const auto& c : cases) {
        ASSERT_EQ(::chmod(dir.path().c_str(), c.mode), 0);
        EXPECT_EQ(FolderSharedWithGroup(dir.string()), c.shared) << std::oct << c.mode;
    }
    std::ofstream(dir / "file") << "x";
    ::chmod((dir / "file").c_str(), 0660);
    EXPECT_FALSE(FolderSharedWithGroup((dir / "file").string())) << "a file is no folder";
    EXPECT_FALSE(FolderSharedWithGroup((dir / "missing").string()));
}

TEST(GroupAccess, SharingOpensTheUmaskToTheGroupAndGivesTheOldOneBack) {
    const mode_t login = ::umask(022);
    ShareFilesWithGroup(true);
    EXPECT_TRUE(FilesSharedWithGroup());
    mode_t now = ::umask(0);
    ::umask(now);
    EXPECT_EQ(now, 007u) << "group read and write, nothing for others";
    EXPECT_EQ(PrivateFileMode(), 0660u);
    EXPECT_EQ(PrivateFolderMode(), 0770u);
    ShareFilesWithGroup(true);  // a second call changes nothing: the login's umask is kept
    ShareFilesWithGroup(false);
    now = ::umask(0);
    ::umask(now);
    EXPECT_EQ(now, 022u);
    EXPECT_EQ(PrivateFileMode(), 0600u);
    EXPECT_EQ(PrivateFolderMode(), 0700u);
    ::umask(login);
}

TEST(GroupAccess, FoldersAboveAFileAreTheGroupsOnlyInASharedHome) {
    const TempFolder dir("vnk_above");
    {
        Umask login(022);
        ShareFilesWithGroup(true);
        MakeFoldersAbove((dir / "shared" / "cfg" / "registry.reg").string());
        ShareFilesWithGroup(false);
        MakeFoldersAbove((dir / "own" / "cfg" / "registry.reg").string());
    }
    EXPECT_EQ(modeOf(dir / "shared" / "cfg"), 0770u);
    EXPECT_EQ(modeOf(dir / "own" / "cfg"), 0755u);
    EXPECT_FALSE(fs::exists(dir / "shared" / "cfg" / "registry.reg")) << "the file is not made";
}

}  // namespace
