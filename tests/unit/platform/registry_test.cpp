#include "platform/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "platform/group_access.h"
#include "support/files.h"
#include "support/sync_log.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

const char* kKey = "Software\\Qorv\\VNKPC";

// Permission bits do not stop root, and the tests may run as root: for its lifetime the
// process acts as an unprivileged user, so that a store with no read permission really
// cannot be opened.
class WithoutPrivileges {
  public:
    WithoutPrivileges() {
        if (::geteuid() == 0) switched_ = ::seteuid(65534) == 0;
    }
    ~WithoutPrivileges() {
        if (switched_) {
            EXPECT_EQ(::seteuid(0), 0);
        }
    }
    bool ok() const { return switched_ || ::geteuid() != 0; }

  private:
    bool switched_ = false;
};

// What the replacement file looked like at the moment its first byte was refused. With a
// file size limit of 0 the kernel raises SIGXFSZ inside that first write, so the handler
// sees the file as it is while the store is being written, before any clean-up.
const char* g_watchedPath = nullptr;
volatile sig_atomic_t g_modeAtFirstByte = -1;

void onFileTooLarge(int) {
    struct stat st {};
    g_modeAtFirstByte =
        ::lstat(g_watchedPath, &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -2;
}

// For the scope, a write that would make any file longer than 0 bytes fails (EFBIG) and
// calls onFileTooLarge first.
class NoFileMayGrow {
  public:
    explicit NoFileMayGrow(const std::string& watched) {
        g_watchedPath = watched.c_str();
        g_modeAtFirstByte = -1;
        struct sigaction sa {};
        sa.sa_handler = onFileTooLarge;
        ::sigaction(SIGXFSZ, &sa, &savedAction_);
        ::getrlimit(RLIMIT_FSIZE, &savedLimit_);
        struct rlimit none = savedLimit_;
        none.rlim_cur = 0;
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~NoFileMayGrow() {
        ::setrlimit(RLIMIT_FSIZE, &savedLimit_);
        ::sigaction(SIGXFSZ, &savedAction_, nullptr);
        g_watchedPath = nullptr;
    }

  private:
    struct sigaction savedAction_ {};
    struct rlimit savedLimit_ {};
};

class RegistryFile : public ::testing::Test {
  protected:
    void SetUp() override { setRegistry(store.get()); }
    void TearDown() override { setRegistry(nullptr); }
    void writeFile(const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    TempFolder dir{"vnk_reg"};
    fs::path path = dir / "cfg" / "registry.reg";
    std::unique_ptr<RegistryStore> store = std::make_unique<RegistryStore>(path.string());
};

TEST_F(RegistryFile, ValuesOfEachTypeSurviveARestart) {
    EXPECT_EQ(RegWriteULong(REGKEY_HKLM, kKey, "Timeout1", 1200, 1), kRegOk);
    EXPECT_EQ(RegWriteString(REGKEY_HKLM, kKey, "pwd", "say \"hi\" C:\\vnk"), kRegOk);
    const unsigned char rate[4] = {0x00, 0x00, 0x48, 0x42};  // 50.0f
    EXPECT_EQ(RegWriteBinary(REGKEY_HKLM, kKey, "Target Rate", rate, 4), kRegOk);

    RegistryStore reopened(path.string());  // a new run reads the file
    setRegistry(&reopened);
    unsigned int dword = 0;
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "timeout1", &dword, 1), kRegOk);  // any case
    EXPECT_EQ(dword, 1200u);
    unsigned char text[64];
    unsigned int size = 0;
    EXPECT_EQ(RegReadString(REGKEY_HKLM, kKey, "pwd", text, sizeof text, &size), kRegOk);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "say \"hi\" C:\\vnk");
    unsigned char bytes[4] = {};
    EXPECT_EQ(RegReadBinary(REGKEY_HKLM, kKey, "Target Rate", bytes, 4, &size), kRegOk);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::memcmp(bytes, rate, 4), 0);

    std::string file = readFile(path);
    EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC]\r\n"), std::string::npos);
    EXPECT_NE(file.find("\"Timeout1\"=dword:000004b0\r\n"), std::string::npos);
    EXPECT_NE(file.find("\"Target Rate\"=hex:00,00,48,42\r\n"), std::string::npos);
}

// A batch of writes reaches the file once, at its end; reads meanwhile see them.
TEST_F(RegistryFile, ABatchOfWritesReachesTheFileOnceAtItsEnd) {
    ASSERT_EQ(RegWriteULong(REGKEY_HKLM, kKey, "Before", 1, 1), kRegOk);
    const std::string before = readFile(path);
    {
        const RegistryBatch batch;
        EXPECT_EQ(RegWriteULong(REGKEY_HKLM, kKey, "One", 1, 1), kRegOk);
        EXPECT_EQ(RegWriteString(REGKEY_HKLM, kKey, "Two", "2"), kRegOk);
        unsigned int one = 0;
        EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "One", &one, 1), kRegOk);
        EXPECT_EQ(one, 1u);
        EXPECT_EQ(readFile(path), before) << "written before the batch ended";
    }
    RegistryStore reopened(path.string());
    setRegistry(&reopened);
    unsigned int value = 0;
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "Before", &value, 1), kRegOk);
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "One", &value, 1), kRegOk);
    EXPECT_EQ(RegReadString(REGKEY_HKLM, kKey, "Two", nullptr, 0, &value), kRegOk);
}

TEST_F(RegistryFile, MissingOrWrongTypedValuesLeaveTheDestinationAlone) {
    const unsigned char two[2] = {8, 0};
    RegWriteBinary(REGKEY_HKLM, kKey, "Sampling Time", two, 2);
    unsigned int dword = 777;
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "Sampling Time", &dword, 1), kRegWrongType);
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "Nothing", &dword, 1), kRegMissing);
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, "Software\\Other", "Sampling Time", &dword, 1),
              kRegMissing);
    EXPECT_EQ(dword, 777u);

    RegWriteString(REGKEY_HKLM, kKey, "pwd", "123456789");
    unsigned int needed = 0;
    EXPECT_EQ(RegReadString(REGKEY_HKLM, kKey, "pwd", nullptr, 0, &needed), kRegOk);
    EXPECT_EQ(needed, 10u);  // with its NUL
    unsigned char small[4] = {'k', 'e', 'e', 'p'};
    EXPECT_LT(RegReadString(REGKEY_HKLM, kKey, "pwd", small, sizeof small, &needed), 0);
    EXPECT_EQ(std::memcmp(small, "keep", 4), 0);

    unsigned char four[4] = {1, 2, 3, 4};
    RegWriteBinary(REGKEY_HKLM, kKey, "Big", four, 4);
    unsigned char one[1] = {9};
    EXPECT_LT(RegReadBinary(REGKEY_HKLM, kKey, "Big", one, 1, &needed), 0);
    EXPECT_EQ(one[0], 9);
}

TEST_F(RegistryFile, FailedWriteLeavesThePreviousStoreByteForByte) {
    synclog::Take();
    RegWriteULong(REGKEY_HKLM, kKey, "EStop", 1, 1);
    // The replacement reaches the disk under its own name, then the folder that names it.
    const std::string folder = fs::canonical(path.parent_path()).string();
    EXPECT_EQ(synclog::Take(), (std::vector<std::string>{folder + "/registry.reg.tmp", folder}));
    std::string before = readFile(path);
    // The replacement is written beside the store first; make that impossible.
    fs::create_directories(path.string() + ".tmp");
    EXPECT_EQ(RegWriteULong(REGKEY_HKLM, kKey, "EStop", 0, 1), kRegWriteFailed);
    EXPECT_EQ(readFile(path), before);
    unsigned int v = 5;
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "EStop", &v, 1), kRegOk);
    EXPECT_EQ(v, 1u);
}

TEST_F(RegistryFile, HandWrittenFileIsRead) {
    writeFile(
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; written by the field technician\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qorv\\VNKPC]\r\n"
        "\"EStop\"=dword:00000000\r\n"
        "\r\n"
        "\"Pressure Tolerance\"=hex:00,00,\\\r\n"
        "  c8,42\r\n"
        "\"pwd\"=\"4711\"\n"
        "\"Odd\"=hex(7):41,00,00,00\r\n"
        "\"AutoRecord\"=dword:00000001\r\n"
        "\"AUTORECORD\"=-\r\n"  // removed, whatever the letter case
        "[-HKEY_LOCAL_MACHINE\\Software\\Gone]\r\n"  // a key removed: no key, nor its values
        "\"Left\"=dword:00000001\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\r\n"
        "\"EStop\"=dword:00000001\r\n");
    std::string before = readFile(path);
    unsigned int v = 9;
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "EStop", &v, 1), kRegOk);
    EXPECT_EQ(v, 0u);
    unsigned char f[4] = {};
    unsigned int size = 0;
    EXPECT_EQ(RegReadBinary(REGKEY_HKLM, kKey, "Pressure Tolerance", f, 4, &size), kRegOk);
    const unsigned char expected[4] = {0x00, 0x00, 0xc8, 0x42};  // 100.0f
    EXPECT_EQ(std::memcmp(f, expected, 4), 0);
    unsigned char pwd[8] = {};
    EXPECT_EQ(RegReadString(REGKEY_HKLM, kKey, "pwd", pwd, sizeof pwd, &size), kRegOk);
    EXPECT_STREQ(reinterpret_cast<char*>(pwd), "4711");
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "Odd", &v, 1), kRegWrongType);
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "AutoRecord", &v, 1), kRegMissing);
    EXPECT_EQ(readFile(path), before) << "a read never rewrites the store";

    // A write keeps what it did not touch, including values of types it does not know.
    RegWriteULong(REGKEY_HKLM, kKey, "AutoRecord", 1, 1);
    RegistryStore reopened(path.string());
    setRegistry(&reopened);
    EXPECT_EQ(RegReadULong(REGKEY_HKLM, "Software\\Elsewhere", "EStop", &v, 1), kRegOk);
    EXPECT_EQ(v, 1u);
    EXPECT_NE(readFile(path).find("\"Odd\"=hex(7):41,00,00,00"), std::string::npos);
    EXPECT_EQ(readFile(path).find("Gone"), std::string::npos);
}

// A store that is there but cannot be read is not an empty store: writing one value into
// "empty" would throw every other value away.
TEST_F(RegistryFile, StoreThatCannotBeReadIsNeverWrittenOver) {
    RegWriteULong(REGKEY_HKLM, kKey, "EStop", 0, 1);
    const std::string before = readFile(path);
    const struct {
        const char* what;
        std::function<void()> make;
        std::function<bool()> unchanged;
        bool unprivileged = false;  // permission bits do not stop root
    } cases[] = {
        {"no read permission",
         [&] {
             writeFile(before);
             fs::permissions(path, fs::perms::none);
         },
         [&] {
             fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
             return readFile(path) == before;
         },
         true},
        // It opens, and its read ends in an I/O error.
        {"read error", [&] { fs::create_symlink("/proc/self/mem", path); },
         [&] { return fs::read_symlink(path) == "/proc/self/mem"; }},
        {"folder", [&] { fs::create_directory(path); }, [&] { return fs::is_directory(path); }},
        // Reading it would wait for ever.
        {"pipe", [&] { ::mkfifo(path.c_str(), 0644); }, [&] { return fs::is_fifo(path); }},
    };
    fs::permissions(path.parent_path(), fs::perms::all);  // the folder itself stays writable
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(path);
        c.make();
        {
            std::optional<WithoutPrivileges> user;
            if (c.unprivileged) {
                ASSERT_TRUE(user.emplace().ok());
            }
            unsigned int v = 7;
            EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "EStop", &v, 1), kRegUnreadable);
            EXPECT_EQ(v, 7u);
            // What the password prompt does when it finds no password.
            EXPECT_EQ(RegWriteString(REGKEY_HKLM, kKey, "pwd", "5927"), kRegWriteFailed);
            EXPECT_EQ(RegWriteULong(REGKEY_HKLM, kKey, "AutoRecord", 1, 1), kRegWriteFailed);
        }
        EXPECT_TRUE(c.unchanged());
        EXPECT_FALSE(fs::exists(fs::symlink_status(path.string() + ".tmp")));
    }
}

// The store holds the password in clear text: nobody but its owner may read it, at any
// moment of any write, whatever the umask; a stricter mode stays. In a program folder shared
// with a group every member's station reads and replaces the one store: the group gets what
// the owner has, and never others. The replacement has its mode before it holds a byte.
TEST_F(RegistryFile, StoreAndItsReplacementHaveTheModeOfTheHomeBeforeTheirFirstByte) {
    const struct {
        mode_t umask;
        bool shared;
        mode_t before, after;  // before 0: no store yet
    } cases[] = {{0, false, 0, 0600},    {0277, false, 0, 0600}, {0, false, 0644, 0600},
                 {0, false, 0666, 0600}, {0, false, 0640, 0600}, {0, false, 0604, 0600},
                 {0, false, 0700, 0600}, {0, false, 0600, 0600}, {0, false, 0400, 0400},
                 {0, false, 0660, 0600}, {0, true, 0, 0660},     {0, true, 0600, 0660},
                 {0, true, 0644, 0660},  {0, true, 0666, 0660},  {0, true, 0400, 0440},
                 {0, true, 0640, 0660}};
    const std::string tmp = path.string() + ".tmp";
    fs::create_directories(path.parent_path());
    for (const auto& c : cases) {
        SCOPED_TRACE("umask " + octal(c.umask) + (c.shared ? ", shared" : "") + ", store " +
                     octal(c.before));
        std::string before;
        if (c.before != 0) {
            writeFile("Windows Registry Editor Version 5.00\r\n");
            ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
            before = readFile(path);
        }
        Umask mask(c.umask);
        ShareFilesWithGroup(c.shared);
        int rc;
        {
            NoFileMayGrow full(tmp);
            rc = RegWriteString(REGKEY_HKLM, kKey, "pwd", "4711");
        }
        const int seen = g_modeAtFirstByte;
        EXPECT_EQ(rc, kRegWriteFailed);
        EXPECT_EQ(seen, static_cast<int>(c.after)) << octal(static_cast<mode_t>(seen));
        EXPECT_FALSE(fs::exists(fs::symlink_status(tmp)));
        EXPECT_EQ(modeOf(path), c.before != 0 ? c.before : 07777u) << "the store as it was";
        EXPECT_EQ(readFile(path), before);

        for (unsigned int value : {30u, 31u}) {
            ASSERT_EQ(RegWriteULong(REGKEY_HKLM, kKey, "Timeout1", value, 1), kRegOk);
            EXPECT_EQ(modeOf(path), c.after) << "written " << value;
        }
        unsigned int v = 0;
        EXPECT_EQ(RegReadULong(REGKEY_HKLM, kKey, "Timeout1", &v, 1), kRegOk);
        EXPECT_EQ(v, 31u);
        ShareFilesWithGroup(false);
        fs::remove(path);
    }
}

}  // namespace
