#include "relay_config.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <utility>
#include <vector>

#include "common/errno_util.h"
#include "common/host_port.h"
#include "common/regular_file.h"
#include "common/utf8.h"
#include "mqtt/mqtt_pack.h"

namespace norvex::relay {

const char* const kUsage =
    "Usage: norvex-relay [--config FILE] [options]\n"
    "The relay end of a Norvex device group on a Linux computer with a serial port: what the\n"
    "group's host sends goes out of the serial line, what the line receives goes to the group.\n"
    "\n"
    "  --config FILE     configuration file (default /etc/norvex/relay.conf)\n"
    "  --port PATH       serial port, overrides the file's \"port\"\n"
    "  --broker HOST[:PORT]  broker, overrides the file's \"broker\"\n"
    "  --group ID        group ID, overrides the file's \"group\"\n"
    "  --device N        device number, overrides the file's \"device\"\n"
    "  --help            this text\n"
    "  --version         the version\n"
    "\n"
    "Signals: SIGUSR1 prints the counters (a \"stats:\" line on stderr), as does the exit.\n"
    "Test hook: SIGUSR2 makes the next client-data packet use up its packet number without\n"
    "being published (one lost answer, for end-to-end tests of the host's ordered delivery).\n";

namespace {

bool ToInt(const std::string& s, long lo, long hi, long& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

template <typename T>
bool SetInt(const std::string& v, long lo, long hi, T& out) {
    long n = 0;
    if (!ToInt(v, lo, hi, n)) return false;
    out = static_cast<T>(n);
    return true;
}

bool SetBool(const std::string& v, bool& out) {
    if (v == "1" || v == "yes" || v == "true" || v == "on") return out = true, true;
    if (v == "0" || v == "no" || v == "false" || v == "off") return out = false, true;
    return false;
}

// A text of "baseinfo": its fields are separated by commas, and the host shows only UTF-8 (the
// group service's lists also split at "|").
bool SetStatusText(const std::string& v, std::string& out) {
    if (v.size() > kMaxStatusTextBytes || !IsValidUtf8(v) ||
        v.find_first_of(",|") != std::string::npos)
        return false;
    out = v;
    return true;
}

bool SetBroker(const std::string& v, RelayConfig& c) {
    auto hp = ParseHostPort(v, kDefaultBrokerPort);
    if (!hp) return false;
    c.brokerHost = hp->host;
    c.brokerPort = hp->port;
    return true;
}

bool SetParity(const std::string& v, char& out) {
    if (v == "none" || v == "N") return out = 'N', true;
    if (v == "even" || v == "E") return out = 'E', true;
    if (v == "odd" || v == "O") return out = 'O', true;
    return false;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// One key; false for an unknown key or a bad value.
bool SetKey(const std::string& k, const std::string& v, RelayConfig& c) {
    constexpr long kMaxInt = std::numeric_limits<int>::max();
    if (k == "broker") return SetBroker(v, c);
    if (k == "group") return !v.empty() && (c.group = v, true);
    if (k == "client_id") return c.clientId = v, true;
    if (k == "user") return c.userName = v, true;
    if (k == "password") return c.password = v, true;
    if (k == "reconnect_pause_ms") return SetInt(v, 100, 3600000, c.reconnectPauseMs);
    if (k == "tls") return SetBool(v, c.tls);
    if (k == "tls_ca") return c.tlsCaFile = v, true;
    if (k == "tls_cert") return c.tlsCertFile = v, true;
    if (k == "tls_key") return c.tlsKeyFile = v, true;
    if (k == "port") return !v.empty() && (c.port = v, true);
    if (k == "speed") return SetInt(v, 50, 4000000, c.speed);
    if (k == "data_bits") return SetInt(v, 5, 8, c.dataBits);
    if (k == "parity") return SetParity(v, c.parity);
    if (k == "stop_bits") return SetInt(v, 1, 2, c.stopBits);
    if (k == "rs485") return SetBool(v, c.rs485);
    if (k == "gather_idle_ms") return SetInt(v, 0, 60000, c.gatherIdleMs);
    if (k == "device") return SetInt(v, 0, kMaxInt, c.device);
    if (k == "sender_key") return SetInt(v, 0, 0xFFFFFFFFl, c.senderKey);
    if (k == "info_text") return SetStatusText(v, c.infoText);
    if (k == "iccid") return SetStatusText(v, c.iccid);
    if (k == "imei") return SetStatusText(v, c.imei);
    if (k == "ping_interval_s") return SetInt(v, 1, 86400, c.pingIntervalS);
    return false;
}

// A relay's file is a few hundred bytes; a bad line is quoted only this far.
constexpr size_t kMaxConfigBytes = 64 * 1024;
constexpr size_t kQuotedLineBytes = 80;

// The whole file, read without waiting on it: a FIFO, a device or a directory is refused.
bool ReadWhole(const std::string& path, std::string& text, std::string& err) {
    bool missing = false;
    std::string reason;
    UniqueFd fd = OpenRegularForReading(path, &missing, &reason);
    if (!fd) {
        err = path + ": " + reason;
        return false;
    }
    char buf[4096];
    for (;;) {
        ssize_t n = RetryOnEintr([&] { return ::read(fd.Get(), buf, sizeof buf); });
        if (n == 0) return true;
        if (n < 0) {
            err = path + ": " + ErrnoText(errno);
            return false;
        }
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > kMaxConfigBytes) {
            err = path + ": larger than 64 KiB, not a relay configuration";
            return false;
        }
    }
}

}  // namespace

bool ParseConfigText(const std::string& text, const std::string& path, RelayConfig& cfg,
                     std::string& err) {
    std::istringstream in(text);
    std::string line;
    for (int no = 1; std::getline(in, line); ++no) {
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = Trim(line);
        if (line.empty()) continue;
        size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? line : Trim(line.substr(0, eq));
        std::string value = eq == std::string::npos ? "" : Trim(line.substr(eq + 1));
        if (eq == std::string::npos || !SetKey(key, value, cfg)) {
            const bool cut = line.size() > kQuotedLineBytes;
            err = path + ":" + std::to_string(no) + ": bad line \"" +
                  line.substr(0, kQuotedLineBytes) + (cut ? "...\"" : "\"");
            return false;
        }
    }
    return true;
}

bool ReadConfigFile(const std::string& path, RelayConfig& cfg, std::string& err) {
    std::string text;
    return ReadWhole(path, text, err) && ParseConfigText(text, path, cfg, err);
}

bool ParseOptions(int argc, char** argv, Options& opt, std::string& err) {
    // the file first, so that the command line overrides it
    std::vector<std::pair<std::string, std::string>> overrides;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            opt.help = true;
            return true;
        }
        if (a == "--version") {
            opt.version = true;
            return true;
        }
        if (i + 1 >= argc) {
            err = "option " + a + " needs a value or is unknown";
            return false;
        }
        std::string v = argv[++i];
        if (a == "--config")
            opt.configPath = v;
        else if (a == "--port" || a == "--broker" || a == "--group" || a == "--device")
            overrides.emplace_back(a.substr(2), v);
        else {
            err = "unknown option " + a;
            return false;
        }
    }
    if (!ReadConfigFile(opt.configPath, opt.config, err)) return false;
    for (const auto& [k, v] : overrides) {
        if (!SetKey(k, v, opt.config)) {
            err = "bad value for --" + k + ": " + v;
            return false;
        }
    }
    RelayConfig& c = opt.config;
    if (c.group.empty() || c.port.empty()) {
        err = "the configuration names no group or no port";
        return false;
    }
    // the group ID goes into topic names: a "+" or "#" there would be a wildcard over other
    // groups, so it must be the letters and digits a group ID is made of
    if (!mqtt::IsClientIdText(c.group)) {
        err = "the group ID is not letters and digits only";
        return false;
    }
    if (c.clientId.empty()) c.clientId = "relay-" + c.group + "-" + std::to_string(c.device);
    if (c.senderKey == 0) c.senderKey = static_cast<uint32_t>(c.device);
    return true;
}

}  // namespace norvex::relay
