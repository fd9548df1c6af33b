#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/site_defaults.h"

namespace norvex::relay {

// The longest info_text, iccid or imei, in bytes.
inline constexpr size_t kMaxStatusTextBytes = 31;

// Everything a relay runs with: its configuration file, then the command line on top.
struct RelayConfig {
    // broker and MQTT login
    std::string brokerHost{kDefaultBrokerHost};
    int brokerPort = kDefaultBrokerPort;
    std::string group;     // the group ID: topics /group/<group>/...
    std::string clientId;  // default "relay-<group>-<device>"
    std::string userName;
    std::string password;
    int reconnectPauseMs = 2000;
    bool tls = false;
    std::string tlsCaFile;  // empty: the system's trust store
    std::string tlsCertFile;
    std::string tlsKeyFile;
    // serial line
    std::string port;  // path, /dev/serial/by-id/... welcome
    uint32_t speed = 115200;
    int dataBits = 8;
    char parity = 'N';  // N, E or O
    int stopBits = 1;
    bool rs485 = true;     // switch the driver to RS-485 where it offers it
    int gatherIdleMs = 0;  // 0: 3.5 character times at the line's speed
    // what the relay says about itself
    int device = 1;          // device number in pingack and baseinfo
    uint32_t senderKey = 0;  // 0: the device number
    std::string infoText = "norvex-relay";
    std::string iccid;
    std::string imei;
    int pingIntervalS = 60;
};

// Reads "key = value" lines ('#' starts a comment) into cfg; on a bad line or value writes
// "<path>:<line>: why" to err and returns false.
bool ReadConfigFile(const std::string& path, RelayConfig& cfg, std::string& err);
// The same for the file's text; path only names it in err.
bool ParseConfigText(const std::string& text, const std::string& path, RelayConfig& cfg,
                     std::string& err);

// The command line.  Also: want help or version.
struct Options {
    RelayConfig config;
    std::string configPath = "/etc/norvex/relay.conf";
    bool help = false;
    bool version = false;
};
bool ParseOptions(int argc, char** argv, Options& opt, std::string& err);

extern const char* const kUsage;

}  // namespace norvex::relay
