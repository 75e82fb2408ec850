// The remote-monitoring settings in the settings store: whether the station publishes to
// an MQTT broker, where, under which names and with which credentials. Machine-wide like
// every other value of the store.
#pragma once

#include <cstdint>
#include <string>

namespace settings {

struct RemoteSettings {
    bool enabled = false;
    std::string host;
    int port = 1883;
    std::string site;     // "" : "site"
    std::string station;  // "" : the computer's name
    std::string user;
    std::string password;
    bool tls = false;
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    bool operator==(const RemoteSettings&) const = default;
};

inline constexpr int kRemotePortMin = 1;
inline constexpr int kRemotePortMax = 65535;

// The values kept, each with its default when missing; a port out of range reads as 1883.
RemoteSettings ReadRemoteSettings();
// Writes every value; the change is journalled without the password.
void WriteRemoteSettings(const RemoteSettings& remote);

}  // namespace settings
