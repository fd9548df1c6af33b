#include "sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include "common/host_port.h"

namespace relaysim {

const char* const kUsage =
    "usage: relay-sim --group ID [options]\n"
    "  --broker HOST[:PORT]  broker, [v6] in brackets (default $NORVEX_BROKER or 127.0.0.1:6002)\n"
    "  --relays N            number of relays (default 1)\n"
    "  --devids A,B,...      their device numbers (default 1..N)\n"
    "  --ping-ms MS          pingack period, 0 for none (default 10000)\n"
    "  --no-echo             do not answer host data\n"
    "  --chunk N             data bytes per answer packet, 1-64 (default 64)\n"
    "  --reorder N           publish answer packets in reversed groups of N (default 1)\n"
    "  --duplicate           publish every answer packet twice\n"
    "  --lower               lower-case hex digits\n"
    "  --first-packet N      number of the first packet, 0-65535 (default 1)\n"
    "  --qos N               QoS of relay publishes, 0-2 (default 1)\n"
    "  --silence-after-ms MS stop answering and pinging after MS (SIGUSR1 too; SIGUSR2 resumes)\n"
    "  --duration-ms MS      exit after MS (default: at SIGINT/SIGTERM)\n"
    "  --info-text TEXT      second field of baseinfo (default relay-sim)\n"
    "  --data-in PATH        send the bytes read from PATH (a pipe) as the first relay's data\n"
    "  --host-out PATH       append the host data bytes received to PATH (a pipe or file)\n"
    "  --late-every N        every Nth data packet, resend the one sent 8 packets before\n"
    "  --bad-every N         every Nth data packet, also send a copy with a non-hex digit pair\n"
    "  --status-flood N      baseinfo and pingack for device numbers 1..N every --flood-ms\n"
    "  --flood-ms MS         period of the status flood (default 1000)\n"
    "  -v                    print every message (twice: also the payloads)\n"
    "Prints \"relay <devid> ready\" once each relay is connected and subscribed.\n";

namespace {

bool ToInt(const char* s, long lo, long hi, int& out) {
    if (s == nullptr || *s == '\0') return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

// The broker as norvexd reads NORVEX_BROKER: host:port, host, [v6]:port or [v6].
bool ParseBroker(const std::string& s, SimOptions& opt) {
    auto hp = norvex::ParseHostPort(s, 6002);
    if (!hp) return false;
    opt.host = hp->host;
    opt.port = hp->port;
    return true;
}

bool ParseDevids(const std::string& s, std::vector<int>& out) {
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, ',')) {
        int v = 0;
        if (!ToInt(item.c_str(), std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                   v))
            return false;
        out.push_back(v);
    }
    return !out.empty();
}

}  // namespace

bool ParseOptions(int argc, char** argv, SimOptions& opt, std::string& err) {
    if (const char* b = std::getenv("NORVEX_BROKER"); b != nullptr && *b != '\0') {
        if (!ParseBroker(b, opt)) {
            err = "NORVEX_BROKER is not host[:port]";
            return false;
        }
    }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        bool takes = true;
        if (a == "--broker")
            ok = v && ParseBroker(v, opt);
        else if (a == "--group")
            ok = v && *v && (opt.group = v, true);
        else if (a == "--relays")
            ok = ToInt(v, 1, 1000, opt.relays);
        else if (a == "--devids")
            ok = v && ParseDevids(v, opt.devids);
        else if (a == "--ping-ms")
            ok = ToInt(v, 0, 86400000, opt.pingMs);
        else if (a == "--chunk")
            ok = ToInt(v, 1, 64, opt.chunk);
        else if (a == "--reorder")
            ok = ToInt(v, 1, 64, opt.reorder);
        else if (a == "--first-packet")
            ok = ToInt(v, 0, 65535, opt.firstPacket);
        else if (a == "--qos")
            ok = ToInt(v, 0, 2, opt.qos);
        else if (a == "--silence-after-ms")
            ok = ToInt(v, 0, 86400000, opt.silenceAfterMs);
        else if (a == "--duration-ms")
            ok = ToInt(v, 0, 86400000, opt.durationMs);
        else if (a == "--info-text")
            ok = v && (opt.infoText = v, true);
        else if (a == "--data-in")
            ok = v && *v && (opt.dataIn = v, true);
        else if (a == "--host-out")
            ok = v && *v && (opt.hostOut = v, true);
        else if (a == "--late-every")
            ok = ToInt(v, 0, 1000000, opt.lateEvery);
        else if (a == "--bad-every")
            ok = ToInt(v, 0, 1000000, opt.badEvery);
        else if (a == "--status-flood")
            ok = ToInt(v, 0, 100000, opt.statusFlood);
        else if (a == "--flood-ms")
            ok = ToInt(v, 1, 86400000, opt.floodMs);
        else {
            takes = false;
            if (a == "--no-echo")
                opt.echo = false;
            else if (a == "--duplicate")
                opt.duplicate = true;
            else if (a == "--lower")
                opt.lowerCase = true;
            else if (a == "-v")
                ++opt.verbose;
            else if (a == "-vv")
                opt.verbose += 2;
            else
                ok = false;
        }
        if (!ok) {
            err = "bad or incomplete option " + a;
            return false;
        }
        if (takes) ++i;
    }
    if (opt.group.empty()) {
        err = "--group is required";
        return false;
    }
    if (opt.devids.empty()) {
        for (int d = 1; d <= opt.relays; ++d) opt.devids.push_back(d);
    }
    return true;
}

}  // namespace relaysim
