// norvex-groupd: a group web service to host yourself, for the panel, the tests and the demo.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/utf8.h"
#include "group_store.h"
#include "password_hash.h"
#include "private_files.h"
#include "request_front.h"
#include "service_pages.h"

namespace {

using norvex::groupd::GroupStore;

constexpr const char* kUsage =
    "usage:\n"
    "  norvex-groupd [serve] [--address ADDR] [--port PORT] [--db FILE] [--register-code CODE]\n"
    "                [--client-timeout MS]\n"
    "      serve the group pages /norvex/*.asp and POST /register_de\n"
    "      (defaults: 127.0.0.1, 50001, norvex-groupd.db, Tq4WmZ8cRv2KxN7b; port 0 picks one)\n"
    "      a client has MS milliseconds to send a whole request (default: 5000 for the head,\n"
    "      10000 with the body); at most 32 connections per client address, 1024 in all\n"
    "      (over either, the oldest connection still sending its request is closed)\n"
    "      SIGTERM and SIGINT stop the service; SIGHUP and SIGUSR1 are noted on stderr and\n"
    "      change nothing (the database stays open, there is no log file to reopen);\n"
    "      SIGPIPE is ignored\n"
    "  norvex-groupd add-device GROUP_ID DEVICE_NUMBER ICCID IMEI [--db FILE]\n"
    "      put a relay into a group (a relay belongs to one group; adding it again moves it);\n"
    "      ICCID and IMEI: at most 31 bytes of UTF-8, without , or |\n"
    "  norvex-groupd list-groups [--db FILE]     serial,name,created,group id per line\n"
    "  norvex-groupd list-devices GROUP_ID [--db FILE]   device,iccid,imei per line\n"
    "  norvex-groupd list-reports [--db FILE]    updatedevices.asp reports taken (only for\n"
    "      relays in a group: a report of any other device number stores nothing; the newest\n"
    "      10000 are kept)\n"
    "  norvex-groupd --help\n"
    "the database and its journals are made for this user alone (0600, a new folder 0700);\n"
    "files found open to others are narrowed, and each one is named on stderr\n";

struct Options {
    std::string command = "serve";
    std::vector<std::string> args;
    std::string address = "127.0.0.1";
    int port = 50001;
    std::string db = "norvex-groupd.db";
    std::string registerCode = "Tq4WmZ8cRv2KxN7b";
    long clientTimeoutMs = 0;  // 0: the front's own limits
};

bool ParsePort(const char* text, int* port) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 65535) return false;
    *port = static_cast<int>(v);
    return true;
}

// false (with a message) on anything it does not understand.
bool ParseArgs(int argc, char** argv, Options* o) {
    bool commandSeen = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string portText;
        if (a == "--address") {
            if (!value(&o->address)) return false;
        } else if (a == "--port") {
            if (!value(&portText) || !ParsePort(portText.c_str(), &o->port)) return false;
        } else if (a == "--db") {
            if (!value(&o->db)) return false;
        } else if (a == "--register-code") {
            if (!value(&o->registerCode)) return false;
        } else if (a == "--client-timeout") {
            std::string text;
            char* end = nullptr;
            if (!value(&text)) return false;
            o->clientTimeoutMs = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end || o->clientTimeoutMs <= 0 || o->clientTimeoutMs > 3600000) {
                return false;
            }
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else if (!commandSeen) {
            o->command = a;
            commandSeen = true;
        } else {
            o->args.push_back(a);
        }
    }
    return true;
}

// Room for the connections within the process's descriptor limit, raised as far as allowed.
size_t ConnectionRoom(size_t wanted) {
    constexpr rlim_t kSpareDescriptors = 64;  // database, log, listener, wake-up
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0) return wanted;
    if (lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur < wanted + kSpareDescriptors) {
        lim.rlim_cur = std::min<rlim_t>(lim.rlim_max, wanted + kSpareDescriptors);
        ::setrlimit(RLIMIT_NOFILE, &lim);
        ::getrlimit(RLIMIT_NOFILE, &lim);
    }
    if (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur >= wanted + kSpareDescriptors) return wanted;
    return lim.rlim_cur > kSpareDescriptors ? lim.rlim_cur - kSpareDescriptors : 1;
}

// The signals taken by the one thread that waits for them, never by a handler.
sigset_t ServiceSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set, sig);
    return set;
}

// Until a stop signal; the others are only noted, since the service holds nothing to reopen.
void WaitForStop(const sigset_t& signals) {
    for (;;) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0 || sig == SIGINT || sig == SIGTERM) return;
        std::fprintf(stderr, "norvex-groupd: %s received: nothing to reopen, carrying on\n",
                     sig == SIGHUP ? "SIGHUP" : "SIGUSR1");
    }
}

int Serve(GroupStore& store, const Options& o) {
    const sigset_t serviceSignals = ServiceSignals();
    pthread_sigmask(SIG_BLOCK, &serviceSignals, nullptr);

    norvex::groupd::ServicePages pages(store, o.registerCode);
    norvex::groupd::FrontLimits limits;
    limits.maxConnections = ConnectionRoom(limits.maxConnections);
    if (o.clientTimeoutMs > 0) {
        limits.headTimeout = limits.requestTimeout = std::chrono::milliseconds(o.clientTimeoutMs);
    }
    norvex::groupd::RequestFront server(
        [&pages](const httplib::Request& req, httplib::Response& res) { pages.Answer(req, res); },
        limits, norvex::groupd::ServicePages::NeedsPasswordHash);
    int port = server.Bind(o.address, o.port);
    if (port < 0) {
        std::fprintf(stderr, "norvex-groupd: cannot listen on %s:%d\n", o.address.c_str(), o.port);
        return 1;
    }
    std::thread stopper([&server, serviceSignals] {
        WaitForStop(serviceSignals);
        server.Stop();
    });
    std::printf("norvex-groupd listening on http://%s:%d (database %s)\n", o.address.c_str(), port,
                o.db.c_str());
    std::fflush(stdout);
    bool ok = server.Run();
    ::kill(::getpid(), SIGTERM);  // wakes the stopper if the server ended by itself
    stopper.join();
    return ok ? 0 : 1;
}

int AddDevice(GroupStore& store, const Options& o) {
    if (o.args.size() != 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    char* end = nullptr;
    long long number = std::strtoll(o.args[1].c_str(), &end, 10);
    if (o.args[1].empty() || *end || number < INT32_MIN || number > INT32_MAX) {
        std::fprintf(stderr, "norvex-groupd: device number must be a 32-bit integer\n");
        return 2;
    }
    for (const std::string* t : {&o.args[2], &o.args[3]}) {
        if (t->size() > 31 || t->find_first_of(",|") != std::string::npos ||
            !norvex::IsValidUtf8(*t)) {
            std::fprintf(stderr,
                         "norvex-groupd: iccid and imei: at most 31 bytes of UTF-8, no , or |\n");
            return 2;
        }
    }
    if (!store.PutRelay(o.args[0], number, o.args[2], o.args[3])) {
        std::fprintf(stderr, "norvex-groupd: no group with id %s\n", o.args[0].c_str());
        return 1;
    }
    return 0;
}

int List(GroupStore& store, const Options& o) {
    if (o.command == "list-groups") {
        for (const auto& g : store.Groups()) {
            std::printf("%lld,%s,%s,%s\n", static_cast<long long>(g.serial), g.name.c_str(),
                        g.created.c_str(), g.deviceId.c_str());
        }
    } else if (o.command == "list-devices" && o.args.size() == 1) {
        for (const auto& r : store.Relays(o.args[0])) {
            std::printf("%lld,%s,%s\n", static_cast<long long>(r.deviceNumber), r.iccid.c_str(),
                        r.imei.c_str());
        }
    } else if (o.command == "list-reports") {
        for (const auto& r : store.Reports()) {
            std::printf("%lld,%s,%s,%s\n", static_cast<long long>(r.deviceNumber), r.iccid.c_str(),
                        r.imei.c_str(), r.received.c_str());
        }
    } else {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    Options o;
    if (!ParseArgs(argc, argv, &o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    static const char* const kCommands[] = {"serve", "add-device", "list-groups", "list-devices",
                                            "list-reports"};
    bool known = false;
    for (const char* c : kCommands) known |= o.command == c;
    if (!known) {
        std::fprintf(stderr, "norvex-groupd: unknown command %s\n%s", o.command.c_str(), kUsage);
        return 2;
    }
    if (!norvex::groupd::StartPasswordHashing()) {
        std::fprintf(stderr, "norvex-groupd: cannot start password hashing\n");
        return 1;
    }
    // a client that goes away mid-reply is the sender's error, not the end of the service
    ::signal(SIGPIPE, SIG_IGN);
    // whatever SQLite creates beside the database (journals) is this user's alone
    ::umask(077);
    std::string error;
    if (!norvex::groupd::PreparePrivateDatabase(o.db, &error)) {
        std::fprintf(stderr, "norvex-groupd: cannot open %s: %s\n", o.db.c_str(), error.c_str());
        return 1;
    }
    auto store = GroupStore::Open(o.db, &error);
    if (!store) {
        std::fprintf(stderr, "norvex-groupd: cannot open %s: %s\n", o.db.c_str(), error.c_str());
        return 1;
    }
    if (o.command == "serve") return Serve(*store, o);
    if (o.command == "add-device") return AddDevice(*store, o);
    return List(*store, o);
}
