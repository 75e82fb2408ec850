// The program folder and the share files, for an installed station (a bin/ beside a
// share/vnk-pc/ holding the marker `cmake --install` writes) and for one in a build tree.
#include "platform/program_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/files.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class ProgramLayout : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(bin);
        fs::create_directories(share);
        const char* home = std::getenv("VNK_HOME");
        if (home != nullptr) savedHome = home;
        unsetenv("VNK_HOME");
    }
    void TearDown() override {
        if (!savedHome.empty())
            setenv("VNK_HOME", savedHome.c_str(), 1);
        else
            unsetenv("VNK_HOME");
    }
    static void write(const fs::path& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }

    TempFolder root{"vnk_layout"};
    fs::path bin = root / "usr" / "bin";
    fs::path share = root / "usr" / "share" / "vnk-pc";
    std::string savedHome;
};

TEST_F(ProgramLayout, InstalledStationTakesTheFolderItsInstallationNamed) {
    EXPECT_EQ(ShareDirFor(bin.string()), share.string());
    EXPECT_EQ(ShareDirFor(bin.string() + "/"), share.string()) << "a trailing slash";
    EXPECT_EQ(ShareDirFor("/usr/bin"), "/usr/share/vnk-pc");

    EXPECT_EQ(DefaultHomeFor(bin.string()), bin.string()) << "no marker: a build tree";

    write(share / kInstalledHomeFile, "/var/lib/vnk-pc\n");
    EXPECT_EQ(DefaultHomeFor(bin.string()), "/var/lib/vnk-pc");
    write(share / kInstalledHomeFile, "/srv/vnk/\r\n");
    EXPECT_EQ(DefaultHomeFor(bin.string()), "/srv/vnk") << "a trailing slash and CR LF";

    // A marker that names no absolute folder would put the station's files wherever it
    // happens to be started: the executable's folder is kept instead.
    for (const char* bad : {"", "\n", "var/lib/vnk-pc\n", "  \n"}) {
        write(share / kInstalledHomeFile, bad);
        EXPECT_EQ(DefaultHomeFor(bin.string()), bin.string()) << "marker '" << bad << "'";
    }
    // A marker beside the executable is not an installation's: only share/vnk-pc counts.
    fs::remove(share / kInstalledHomeFile);
    write(bin / kInstalledHomeFile, "/var/lib/vnk-pc\n");
    EXPECT_EQ(DefaultHomeFor(bin.string()), bin.string());
}

}  // namespace
