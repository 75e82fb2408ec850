// Fuzzes the settings store's file: any bytes as the store (plain text, with a UTF-8 mark, or
// UTF-16 as regedit writes it), read, written and read again.
// Checked:
//  - the store's text, once read, is written so that it reads back the same: every key, every
//    value with its type and the spelling of its name (a write must lose or change nothing
//    the file held, whatever odd lines it had);
//  - a setting written to the file store reads back beside all of those, in the encoding the
//    file had;
//  - every clamped setting read from such a store is within its range, and a number setting
//    is the store's number when the store holds one, its default otherwise.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "fuzz_support.h"
#include "platform/registry.h"
#include "settings/registry_settings.h"

namespace {

using platform::RegistryStore;
using platform::RegValue;
using Names = std::map<std::string, std::string>;

const char* const kKey = "HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC";
const char* const kLowerKey = "hkey_local_machine\\software\\qorv\\vnkpc";

[[noreturn]] void fail(const std::string& what) {
    fuzzsupport::fail("registry_fuzz", what);
}

bool same(const RegValue& a, const RegValue& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case RegValue::Dword:
            return a.dword == b.dword;
        case RegValue::String:
            return a.text == b.text;
        case RegValue::Binary:
            return a.data == b.data;
        case RegValue::Other:
            return a.raw == b.raw;
    }
    return false;
}

// The keys and values of got are those of want, names spelt alike.
void expectSame(const RegistryStore::Keys& want, const Names& wantNames,
                const RegistryStore::Keys& got, const Names& gotNames, const char* after) {
    if (want.size() != got.size()) fail(std::string("keys gained or lost ") + after);
    for (const auto& [key, values] : want) {
        const auto g = got.find(key);
        if (g == got.end()) fail("key [" + key + "] lost " + after);
        if (wantNames.at(key) != gotNames.at(key)) fail("key [" + key + "] renamed " + after);
        if (values.size() != g->second.size())
            fail("values of [" + key + "] gained or lost " + after);
        for (const auto& [name, entry] : values) {
            const auto v = g->second.find(name);
            if (v == g->second.end()) fail("value \"" + name + "\" lost " + after);
            if (v->second.first != entry.first) fail("value \"" + name + "\" renamed " + after);
            if (!same(v->second.second, entry.second))
                fail("value \"" + name + "\" changed " + after);
        }
    }
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) fail("cannot write the store file");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) fail("cannot write the store file");
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

void checkClamped(const settings::FloatSetting& s) {
    const float v = settings::ReadSetting(s);
    if (!(v >= s.low && v <= s.high)) fail(std::string(s.name) + " read outside its range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    RegistryStore::Keys keys;
    Names names;
    RegistryStore::parse(bytes, keys, names);

    // Written and read again: the same store.
    {
        RegistryStore::Keys again;
        Names againNames;
        RegistryStore::parse(RegistryStore::format(keys, names), again, againNames);
        expectSame(keys, names, again, againNames, "by writing the store");
    }

    // The file store: one setting written over this file.
    const std::string path = fuzzsupport::scratchFolder() + "/registry.reg";
    writeAll(path, data, size);
    RegistryStore store(path);
    RegValue probe;
    probe.type = RegValue::Dword;
    probe.dword = static_cast<std::uint32_t>(size);
    if (!store.set(kKey, "Fuzz Probe", probe)) fail("a readable store could not be written");
    const std::string written = readAll(path);
    const bool utf16 = startsWith(bytes, "\xFF\xFE");
    if (utf16 != startsWith(written, "\xFF\xFE")) fail("the store's encoding changed");
    if (!utf16 && startsWith(bytes, "\xEF\xBB\xBF") != startsWith(written, "\xEF\xBB\xBF"))
        fail("the store's UTF-8 mark changed");
    RegistryStore::Keys stored;
    Names storedNames;
    RegistryStore::parse(written, stored, storedNames);
    RegistryStore::Keys want = keys;
    Names wantNames = names;
    wantNames.emplace(kLowerKey, kKey);
    want[kLowerKey]["fuzz probe"] = {"Fuzz Probe", probe};
    expectSame(want, wantNames, stored, storedNames, "by a write of one setting");

    // The settings as the station reads them from this store.
    platform::setRegistry(&store);
    for (const settings::FloatSetting& s :
         {settings::kTargetRate, settings::kTargetPressure, settings::kLimitRate,
          settings::kLimitPressure, settings::kRpmStep, settings::kPressureTolerance,
          settings::kRateTolerance})
        checkClamped(s);
    const std::int16_t sampling = settings::ReadSetting(settings::kSamplingTime);
    if (sampling < settings::kSamplingTime.low || sampling > settings::kSamplingTime.high)
        fail("Sampling Time read outside its range");
    const float trip = settings::ReadInlineTripValue();
    if (!(trip >= 0.0f && trip <= settings::kInlineTripMaxPsi))
        fail("the inline trip value read outside 0 to 25000 psi");
    for (const settings::DwordSetting& s :
         {settings::kEStop, settings::kTimeout1, settings::kAutoRecord, settings::kAlarmops}) {
        std::uint32_t want32 = s.missing;
        const auto k = stored.find(kLowerKey);
        if (k != stored.end()) {
            std::string lower = s.name;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const auto v = k->second.find(lower);
            if (v != k->second.end() && v->second.second.type == RegValue::Dword)
                want32 = v->second.second.dword;
        }
        if (settings::ReadSetting(s) != want32) fail(std::string(s.name) + " read wrong");
    }
    platform::setRegistry(nullptr);
    return 0;
}
