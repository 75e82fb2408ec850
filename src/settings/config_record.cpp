#include "settings/config_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/wire.h"
#include "platform/module_state.h"
#include "platform/program_dir.h"

namespace settings {

ConfigRecord Config;

namespace {

// Field offsets of the file.
enum Offset : std::size_t {
    kOffPumpComPort = 0,
    kOffOutputComPort = 24,
    kOffRefreshInterval = 25,
    kOffReserved33 = 33,
    kOffReserved37 = 37,
    kOffDisplayUnits = 41,
    kOffServerName = 45,
    kOffRpmStepLarge = 301,
    kOffRpmStepSmall = 401,
    kOffComTimeout = 501,
    kOffReserved509 = 509,
    kOffPumpsShown = 517,
    kOffPumpGroup = 518,
    kOffAutoSelected = 542,
    kOffReserved566 = 566,
    kOffReserved590 = 590,
    kOffGroupsValid = 902,
    kOffReserved904 = 904,
};
static_assert(kOffReserved904 + 2 == kConfigRecordSize);

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

ConfigRecord FirstStartRecord() {
    ConfigRecord r{};
    for (int i = 0; i < kRecordEntries; ++i) {
        r.RpmStepLarge[i] = kDefaultRpmStepLarge;
        r.RpmStepSmall[i] = kDefaultRpmStepSmall;
    }
    for (int i = 0; i < kRecordPumps; ++i) r.PumpGroup[i] = kRecordNoGroup;
    r.RefreshInterval = 1.0;
    r.Reserved33 = 369;
    r.Reserved37 = 27;
    r.DisplayUnits = kUnitsUs;
    r.ComTimeout = kComTimeoutInUse;
    r.PumpsShown = 24;
    return r;
}

// ---------------------------------------------------------------- record image

void EncodeConfigRecord(const ConfigRecord& r, std::uint8_t out[kConfigRecordSize]) {
    std::memcpy(out + kOffPumpComPort, r.PumpComPort, kRecordPumps);
    out[kOffOutputComPort] = r.OutputComPort;
    wire::putF64(out + kOffRefreshInterval, r.RefreshInterval);
    wire::putU32(out + kOffReserved33, r.Reserved33);
    wire::putU32(out + kOffReserved37, r.Reserved37);
    wire::putI32(out + kOffDisplayUnits, r.DisplayUnits);
    std::memcpy(out + kOffServerName, r.ServerName, 256);
    for (int i = 0; i < kRecordEntries; ++i) {
        wire::putI32(out + kOffRpmStepLarge + 4 * i, r.RpmStepLarge[i]);
        wire::putI32(out + kOffRpmStepSmall + 4 * i, r.RpmStepSmall[i]);
    }
    wire::putF64(out + kOffComTimeout, r.ComTimeout);
    std::memcpy(out + kOffReserved509, r.Reserved509, 8);
    out[kOffPumpsShown] = r.PumpsShown;
    std::memcpy(out + kOffPumpGroup, r.PumpGroup, kRecordPumps);
    std::memcpy(out + kOffAutoSelected, r.AutoSelected, kRecordPumps);
    std::memcpy(out + kOffReserved566, r.Reserved566, kRecordPumps);
    std::memcpy(out + kOffReserved590, r.Reserved590, 312);
    wire::putU16(out + kOffGroupsValid, r.GroupsValid);
    wire::putU16(out + kOffReserved904, r.Reserved904);
}

void DecodeConfigRecord(const std::uint8_t in[kConfigRecordSize], ConfigRecord& r) {
    std::memcpy(r.PumpComPort, in + kOffPumpComPort, kRecordPumps);
    r.OutputComPort = in[kOffOutputComPort];
    r.RefreshInterval = wire::getF64(in + kOffRefreshInterval);
    r.Reserved33 = wire::getU32(in + kOffReserved33);
    r.Reserved37 = wire::getU32(in + kOffReserved37);
    r.DisplayUnits = wire::getI32(in + kOffDisplayUnits);
    std::memcpy(r.ServerName, in + kOffServerName, 256);
    for (int i = 0; i < kRecordEntries; ++i) {
        r.RpmStepLarge[i] = wire::getI32(in + kOffRpmStepLarge + 4 * i);
        r.RpmStepSmall[i] = wire::getI32(in + kOffRpmStepSmall + 4 * i);
    }
    r.ComTimeout = wire::getF64(in + kOffComTimeout);
    std::memcpy(r.Reserved509, in + kOffReserved509, 8);
    r.PumpsShown = in[kOffPumpsShown];
    std::memcpy(r.PumpGroup, in + kOffPumpGroup, kRecordPumps);
    std::memcpy(r.AutoSelected, in + kOffAutoSelected, kRecordPumps);
    std::memcpy(r.Reserved566, in + kOffReserved566, kRecordPumps);
    std::memcpy(r.Reserved590, in + kOffReserved590, 312);
    r.GroupsValid = wire::getU16(in + kOffGroupsValid);
    r.Reserved904 = wire::getU16(in + kOffReserved904);
}

// ---------------------------------------------------------------- the file

std::string ConfigFolder() {
    return platform::MakePathname(platform::GetProjectDir(), "cfg");
}

std::string ConfigFilePath() {
    return platform::MakePathname(ConfigFolder(), "vnk.cfg");
}

int ReadConfigFile(const std::string& path, std::uint8_t* buffer, std::size_t size) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno != 0 ? errno : -1;
    std::size_t got = 0;
    int rc = 0;
    while (got < size) {
        ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // A folder or a device in place of the file: unreadable, as if missing.
            rc = errno != 0 ? errno : -1;
            break;
        }
        if (n == 0) break;  // a short file fills only the start
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return rc;
}

int WriteConfigFile(const std::string& path, const std::uint8_t* buffer, std::size_t size) {
    // A power cut during an in-place write would leave a short file, and the next start
    // would silently lose the groups and the steps. The new image goes to a file of its own
    // in the same folder, reaches the disk, and only then takes the old one's name.
    const std::string temp = path + ".new";
    // The umask decides who else may read it (the group, in a home shared with one).
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno != 0 ? errno : -1;
    errno = 0;
    bool ok = writeAll(fd, buffer, size) && ::fsync(fd) == 0;
    int error = ok ? 0 : (errno != 0 ? errno : ENOSPC);  // a short write sets no errno
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno != 0 ? errno : -1;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno != 0 ? errno : -1;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return error;
    }
    // Make the rename itself durable.
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

void ResetConfigRecord() {
    Config = ConfigRecord{};
}
VNK_MODULE_STATE_RESET(settings, config_record, Config, ResetConfigRecord)

void RegisterSettingsStates() {
    registerState_config_record();
}

}  // namespace settings
