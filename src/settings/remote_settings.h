// The remote-monitoring settings in the settings store: whether the station publishes to
// an MQTT broker, where, under which names and with which credentials. Machine-wide like
// every other value of the store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// The random part of the station's client id at the broker: 8 hex digits, made the first
// time they are asked for and kept, so that no viewer can derive the id from the topics.
std::string RemoteClientSuffix();

// Topic roots the station published under and must still clear (their retained state and
// pumps), kept across restarts until a broker has acknowledged the clearing; and the root of
// the last connection, so that a rename made while the station was away is noticed.
std::vector<std::string> ReadRootsToClear();
void WriteRootsToClear(const std::vector<std::string>& roots);
std::string ReadPublishedRoot();
void WritePublishedRoot(const std::string& root);

}  // namespace settings
