#include "settings/remote_settings.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <vector>

#include "platform/journal.h"
#include "platform/registry.h"
#include "settings/registry_settings.h"

namespace settings {

namespace {

constexpr int kRoot = platform::REGKEY_HKLM;

inline constexpr DwordSetting kRemoteEnabled{"Remote Enabled", 0};
inline constexpr DwordSetting kRemotePort{"Remote Port", 1883};
inline constexpr DwordSetting kRemoteTls{"Remote TLS", 0};
constexpr const char* kHost = "Remote Host";
constexpr const char* kSite = "Remote Site";
constexpr const char* kStation = "Remote Station";
constexpr const char* kUser = "Remote User";
constexpr const char* kPassword = "Remote Password";
constexpr const char* kCaFile = "Remote CA File";
constexpr const char* kCertFile = "Remote Certificate";
constexpr const char* kKeyFile = "Remote Key";
constexpr const char* kClientSuffix = "Remote Client Suffix";
constexpr const char* kRootsToClear = "Remote Roots To Clear";
constexpr const char* kPublishedRoot = "Remote Published Root";

bool isSuffix(const std::string& s) {
    return s.size() == 8 && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

}  // namespace

std::string RemoteClientSuffix() {
    std::string suffix = ReadSettingText(kClientSuffix);
    if (isSuffix(suffix)) return suffix;
    std::random_device random;
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(random()));
    suffix = text;
    platform::RegWriteString(kRoot, kSettingsKey, kClientSuffix, suffix.c_str());
    return suffix;
}

std::vector<std::string> ReadRootsToClear() {
    std::vector<std::string> roots;
    // A cleaned root holds no white space: one space between roots.
    std::istringstream in(ReadSettingText(kRootsToClear));
    for (std::string root; in >> root;) roots.push_back(root);
    return roots;
}

void WriteRootsToClear(const std::vector<std::string>& roots) {
    std::string text;
    for (const std::string& root : roots) text += (text.empty() ? "" : " ") + root;
    platform::RegWriteString(kRoot, kSettingsKey, kRootsToClear, text.c_str());
}

std::string ReadPublishedRoot() {
    return ReadSettingText(kPublishedRoot);
}

void WritePublishedRoot(const std::string& root) {
    platform::RegWriteString(kRoot, kSettingsKey, kPublishedRoot, root.c_str());
}

RemoteSettings ReadRemoteSettings() {
    RemoteSettings r;
    r.enabled = ReadSetting(kRemoteEnabled) != 0;
    const std::uint32_t port = ReadSetting(kRemotePort);
    r.port = port >= kRemotePortMin && port <= kRemotePortMax ? static_cast<int>(port) : 1883;
    r.tls = ReadSetting(kRemoteTls) != 0;
    r.host = ReadSettingText(kHost);
    r.site = ReadSettingText(kSite);
    r.station = ReadSettingText(kStation);
    r.user = ReadSettingText(kUser);
    r.password = ReadSettingText(kPassword);
    r.caFile = ReadSettingText(kCaFile);
    r.certFile = ReadSettingText(kCertFile);
    r.keyFile = ReadSettingText(kKeyFile);
    return r;
}

void WriteRemoteSettings(const RemoteSettings& r) {
    // One write of the store, not eleven each waiting for the disk: Apply runs on the loop.
    const platform::RegistryBatch batch;
    const RemoteSettings before = ReadRemoteSettings();
    platform::RegWriteULong(kRoot, kSettingsKey, kRemoteEnabled.name, r.enabled ? 1 : 0, 1);
    platform::RegWriteULong(kRoot, kSettingsKey, kRemotePort.name, static_cast<unsigned>(r.port),
                            1);
    platform::RegWriteULong(kRoot, kSettingsKey, kRemoteTls.name, r.tls ? 1 : 0, 1);
    const std::pair<const char*, const std::string*> texts[] = {
        {kHost, &r.host},         {kSite, &r.site},         {kStation, &r.station},
        {kUser, &r.user},         {kPassword, &r.password}, {kCaFile, &r.caFile},
        {kCertFile, &r.certFile}, {kKeyFile, &r.keyFile},
    };
    for (const auto& [name, value] : texts)
        platform::RegWriteString(kRoot, kSettingsKey, name, value->c_str());
    if (before == r) return;
    // The password never goes into the journal, only that it changed.
    std::string text = "Remote monitoring " + std::string(r.enabled ? "on" : "off") + ": " +
                       (r.host.empty() ? "(no broker)" : r.host) + ":" + std::to_string(r.port) +
                       (r.tls ? " TLS" : "") + ", site \"" + r.site + "\", station \"" + r.station +
                       "\"";
    if (before.password != r.password) text += ", password changed";
    journal::Record(journal::kNoPump, journal::Kind::Settings, text);
}

}  // namespace settings
