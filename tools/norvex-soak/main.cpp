// norvex-soak: the service, a private mosquitto, relay-sim and a port pair under numbered
// traffic both ways, with faults applied in turn; or, with --scale, many services on one
// broker.  Loopback only; bounded by --cycles and --max-seconds.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "scale_run.h"
#include "soak_run.h"
#include "stop_signal.h"

using namespace norvex::soak;

namespace {

const char kUsage[] =
    "usage: norvex-soak [options]                 faults in turn, one per cycle\n"
    "       norvex-soak --scale 1,10,50 [options] many services on one broker\n"
    "  --build DIR          build tree with norvexd and the tools (default: this program's)\n"
    "  --mosquitto PATH, --socat PATH   the programs (/usr/sbin/mosquitto, /usr/bin/socat)\n"
    "  --cycles N           fault cycles (default 100)\n"
    "  --max-seconds S      stop after S seconds whatever is left (default 1800)\n"
    "  --port socat|virtual the port pair: two linked ptys from socat (default), or the\n"
    "                       service's own virtual port (\"pty:PATH\"; no hangup fault)\n"
    "  --faults K,K,...     kill refuse stop stop-connect flood reopen hangup malformed\n"
    "                       (default kill)\n"
    "  --rate B             bytes per second each way (default 2000)\n"
    "  --gap-ms MS          steady traffic between faults (default 2000)\n"
    "  --down-ms MS         kill: broker dead this long (default 300)\n"
    "  --refuse-ms MS       refuse: port refusing this long (default 5000)\n"
    "  --stop-ms MS         stop, stop-connect: broker stopped this long (default 21000)\n"
    "  --flood-relays N     flood: device numbers 1..N, all registered (default 1000)\n"
    "  --flood-ms MS        flood: how long (default 10000)\n"
    "  --restart-sec S      pause before a service that ended is started again (default 5)\n"
    "  --relay-args 'A B'   extra relay-sim options (default: --reorder 2 --duplicate\n"
    "                       --late-every 40 --bad-every 50)\n"
    "  --seconds S, --warmup S   scale: measuring window and warm-up (30, 10)\n"
    "  --report FILE        also write the tables to FILE\n"
    "  --keep               keep the scratch directory (logs)\n";

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, sep)) {
        if (!item.empty()) out.push_back(item);
    }
    return out;
}

bool ToNumber(const char* s, double lo, double hi, double& out) {
    if (s == nullptr || *s == '\0') return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

std::string OwnBuildTree() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string exe(buf, static_cast<size_t>(n));
    // <build>/tools/norvex-soak/norvex-soak
    for (int i = 0; i < 3; ++i) exe = exe.substr(0, exe.rfind('/'));
    return exe;
}

bool KnownFault(const std::string& k) {
    for (const char* const* f = kFaultKinds; *f != nullptr; ++f) {
        if (k == *f) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    CatchStopSignals();
    SoakOptions so;
    ScaleOptions sc;
    bool scale = false;
    RigOptions rig;
    rig.binDir = OwnBuildTree();
    rig.relayArgs = {"--reorder", "2", "--duplicate", "--late-every", "40", "--bad-every", "50"};
    std::string report;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        double x = 0;
        bool ok = true;
        auto num = [&](double lo, double hi) { return ToNumber(v, lo, hi, x); };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--keep") {
            rig.keepScratch = true;
            continue;
        } else if (a == "--build")
            ok = v && (rig.binDir = v, true);
        else if (a == "--mosquitto")
            ok = v && (rig.mosquitto = v, true);
        else if (a == "--socat")
            ok = v && (rig.socat = v, true);
        else if (a == "--port")
            ok = v && (std::string(v) == "socat" || std::string(v) == "virtual") &&
                 (rig.virtualPort = std::string(v) == "virtual", true);
        else if (a == "--cycles")
            ok = num(1, 1e6) && (so.cycles = static_cast<int>(x), true);
        else if (a == "--max-seconds")
            ok = num(1, 1e6) && (so.maxSeconds = x, true);
        else if (a == "--faults") {
            so.faults = v ? Split(v, ',') : std::vector<std::string>{};
            ok = !so.faults.empty();
            for (const auto& k : so.faults) ok &= KnownFault(k);
        } else if (a == "--rate")
            ok = num(8, 1e6) && (rig.rate = static_cast<int>(x), true);
        else if (a == "--gap-ms")
            ok = num(0, 1e7) && (so.gapMs = static_cast<int>(x), true);
        else if (a == "--down-ms")
            ok = num(0, 1e7) && (so.downMs = static_cast<int>(x), true);
        else if (a == "--refuse-ms")
            ok = num(0, 1e7) && (so.refuseMs = static_cast<int>(x), true);
        else if (a == "--stop-ms")
            ok = num(0, 1e7) && (so.stopMs = static_cast<int>(x), true);
        else if (a == "--flood-relays")
            ok = num(1, 100000) && (so.floodRelays = static_cast<int>(x), true);
        else if (a == "--flood-ms")
            ok = num(100, 1e7) && (so.floodMs = static_cast<int>(x), true);
        else if (a == "--restart-sec")
            ok = num(0, 3600) && (rig.restartSeconds = x, true);
        else if (a == "--relay-args")
            ok = v && (rig.relayArgs = Split(v, ' '), true);
        else if (a == "--seconds")
            ok = num(1, 1e6) && (sc.seconds = x, true);
        else if (a == "--warmup")
            ok = num(0, 1e6) && (sc.warmupSeconds = x, true);
        else if (a == "--report")
            ok = v && (report = v, true);
        else if (a == "--scale") {
            scale = true;
            sc.services.clear();
            for (const auto& n : v ? Split(v, ',') : std::vector<std::string>{}) {
                ok &= ToNumber(n.c_str(), 1, 500, x);
                sc.services.push_back(static_cast<int>(x));
            }
            ok &= !sc.services.empty();
        } else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "norvex-soak: bad or incomplete option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
        ++i;
    }
    if (scale) {
        sc.rig = rig;
        sc.rig.relayArgs.clear();  // scale measures the plain path
        sc.reportPath = report;
        return RunScale(sc);
    }
    bool floods = false;
    for (const auto& k : so.faults) {
        floods |= k == "flood";
        if (k == "hangup" && rig.virtualPort) {
            // only the service holds its virtual port; nothing outside can hang it up
            std::fputs("norvex-soak: the hangup fault needs --port socat\n", stderr);
            return 2;
        }
    }
    rig.devices = floods ? so.floodRelays : 1;
    so.rig = rig;
    so.reportPath = report;
    return RunSoak(so);
}
