// Fuzzes vnk.cfg as start-up loads it: any bytes as the file (shorter, longer or damaged), the
// record decoded from them and handed to the Pump Table, the groups and the preferences.
// Checked:
//  - the 906-byte image decodes into a record that encodes into the same bytes, reserved
//    ones included (what the station does not understand it writes back as it found it);
//  - after loading, every speed step is within 1-1000 rpm (the file's where it was, the
//    default where it was not, and the operator told once when any pump's was not), every
//    group is 0-15 or none (none at all when the file does not mark its groups valid), a
//    grouped pump is not under automatic control, the units, the refresh interval and the
//    server name are ones the station can use, and the ports are the file's;
//  - what the station saves then loads back to the same tables and record, with nothing to
//    tell the operator.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "operation/pumpgroup.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "platform/sim_loop.h"
#include "settings/config_record.h"
#include "shell/cfg.h"
#include "shell/main_sequence.h"
#include "ui/popups.h"
#include "ui/ui_model.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using settings::ConfigRecord;
using settings::kConfigRecordSize;

namespace {

[[noreturn]] void fail(const std::string& what) {
    fuzzsupport::fail("config_fuzz", what);
}

struct World {
    platform::SimLoop loop;
    platform::RegistryStore store;  // in memory
    ui::ScriptedPopups popups;
    std::string file;
    World() {
        platform::setLoop(&loop);
        platform::setRegistry(&store);
        ui::setPopupBackEnd(&popups);
        ::setenv("VNK_HOME", fuzzsupport::scratchFolder().c_str(), 1);
        file = fuzzsupport::scratchFolder() + "/cfg/vnk.cfg";
        shell::ResetStation();
        // The windows start-up loads before the configuration.
        for (int b = operation::kBankCount - 1; b >= 0; --b)
            operation::BankPanel[b] = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_BANK);
        operation::DetailPanel = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_DETAIL);
        operation::InitControlIds();
    }
};

World& world() {
    static World w;
    return w;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail("cannot write vnk.cfg");
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size))
        fail("cannot write vnk.cfg");
    ::close(fd);
}

// What one load leaves in the tables.
struct Loaded {
    std::vector<std::int32_t> steps;
    std::vector<int> ports, groups, autos;
    int speedStepMessages = 0;
    bool operator==(const Loaded& o) const {
        return steps == o.steps && ports == o.ports && groups == o.groups && autos == o.autos;
    }
};

std::vector<std::uint8_t> saved(const std::string& path) {
    shell::SaveConfiguration();
    std::vector<std::uint8_t> bytes(kConfigRecordSize + 1);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail("vnk.cfg not saved");
    const ssize_t n = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    if (n != static_cast<ssize_t>(kConfigRecordSize)) fail("vnk.cfg not saved whole");
    bytes.resize(kConfigRecordSize);
    return bytes;
}

Loaded load() {
    World& w = world();
    ResetPumpTable();
    operation::ResetPumpGroups();
    settings::ResetConfigRecord();
    w.popups.clear();
    shell::LoadConfiguration();
    Loaded l;
    for (int i = 0; i < kTableSize; ++i) {
        l.steps.push_back(PumpTable[i].RpmStepLarge);
        l.steps.push_back(PumpTable[i].RpmStepSmall);
        l.ports.push_back(i == kOutputEntry ? PumpTable[i].ComPort
                                            : PumpTable[i].ConfiguredComPort);
    }
    for (int p = 0; p < kPumpCount; ++p) {
        l.groups.push_back(PumpTable[static_cast<std::size_t>(p)].PumpGroup);
        l.autos.push_back(PumpTable[p].AutoSelected);
    }
    l.speedStepMessages = w.popups.count("Speed Steps");
    return l;
}

bool stepInRange(std::int32_t s) {
    return s >= settings::kRpmStepMin && s <= settings::kRpmStepMax;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World& w = world();

    // The image as loading makes it: the file's bytes over a record of zeros.
    std::uint8_t image[kConfigRecordSize] = {};
    std::memcpy(image, data, std::min(size, kConfigRecordSize));
    ConfigRecord raw{};
    settings::DecodeConfigRecord(image, raw);
    std::uint8_t again[kConfigRecordSize];
    settings::EncodeConfigRecord(raw, again);
    if (std::memcmp(image, again, kConfigRecordSize) != 0)
        fail("the record does not encode into the bytes it was decoded from");

    ::mkdir((fuzzsupport::scratchFolder() + "/cfg").c_str(), 0755);
    writeFile(w.file, data, size);
    const Loaded first = load();

    bool anyBadStep = false;
    for (int i = 0; i < kTableSize; ++i) {
        const std::int32_t large = PumpTable[i].RpmStepLarge, small = PumpTable[i].RpmStepSmall;
        if (!stepInRange(large) || !stepInRange(small)) fail("a speed step outside 1-1000 rpm");
        const bool rawGood = stepInRange(raw.RpmStepLarge[i]) && stepInRange(raw.RpmStepSmall[i]);
        if (stepInRange(raw.RpmStepLarge[i]) && large != raw.RpmStepLarge[i])
            fail("a good large step was replaced");
        if (stepInRange(raw.RpmStepSmall[i]) && small != raw.RpmStepSmall[i])
            fail("a good small step was replaced");
        if (!stepInRange(raw.RpmStepLarge[i]) && large != settings::kDefaultRpmStepLarge)
            fail("a bad large step did not become the default");
        if (!stepInRange(raw.RpmStepSmall[i]) && small != settings::kDefaultRpmStepSmall)
            fail("a bad small step did not become the default");
        if (i < kPumpCount && !rawGood) anyBadStep = true;
    }
    if (first.speedStepMessages != (anyBadStep ? 1 : 0))
        fail("the operator was not told once of the bad speed steps");

    for (int p = 0; p < kPumpCount; ++p) {
        const int group = PumpTable[static_cast<std::size_t>(p)].PumpGroup;
        const std::uint8_t rawGroup = raw.PumpGroup[p];
        const int want = raw.GroupsValid != 0 && rawGroup < 16 ? rawGroup : kNoGroup;
        if (group != want) fail("pump " + std::to_string(p + 1) + " in the wrong group");
        if (PumpTable[p].AutoSelected > 1) fail("an Auto box neither ticked nor clear");
        if (group != kNoGroup && PumpTable[p].AutoSelected != 0) fail("a grouped pump under automatic control");
        if (PumpTable[p].ConfiguredComPort != raw.PumpComPort[p]) fail("a pump's port changed");
    }
    if (PumpTable[kOutputEntry].ComPort != raw.OutputComPort) fail("the output port changed");

    const ConfigRecord& c = settings::Config;
    if (c.DisplayUnits != settings::kUnitsUs && c.DisplayUnits != settings::kUnitsMetric)
        fail("units the station has no labels for");
    if ((raw.DisplayUnits == settings::kUnitsUs || raw.DisplayUnits == settings::kUnitsMetric) &&
        c.DisplayUnits != raw.DisplayUnits)
        fail("the file's units were not taken");
    if (c.RefreshInterval != 1.0 && c.RefreshInterval != 2.0 && c.RefreshInterval != 4.0)
        fail("a refresh interval the menus do not offer");
    if (c.ComTimeout != settings::kComTimeoutInUse) fail("the serial time-out of the file used");
    if (std::memchr(c.ServerName, '\0', sizeof c.ServerName) == nullptr)
        fail("a server name without its end");
    if (std::strncmp(c.ServerName, raw.ServerName, sizeof c.ServerName - 1) != 0)
        fail("the server name changed");

    // Saved, then loaded again: the same, nothing more to tell, and saved alike.
    const std::vector<std::uint8_t> once = saved(w.file);
    const Loaded second = load();
    if (!(second == first)) fail("what was saved loads back differently");
    if (second.speedStepMessages != 0) fail("the saved file's speed steps are refused");
    if (saved(w.file) != once) fail("a second save writes another file");
    return 0;
}
