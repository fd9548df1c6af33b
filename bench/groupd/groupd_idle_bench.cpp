// norvex-groupd with N connections that sent half a request and wait (from 127.0.0.2 on, at
// most 32 per address, the service's per-address limit): how long a fresh request from
// 127.0.0.1 takes to be answered, and the service's resident memory.  With --one-address the
// held connections all come from 127.0.0.1, the fresh request's own address.  With --hash-flood
// the fresh request is timed instead while 64 wrong-password logins (from 127.0.0.2 and .3) are
// being checked.
//   groupd_idle_bench [--groupd PATH] [--one-address | --hash-flood] [N...]
//      (default: 0 500 1000 2000)
// A request unanswered after 30 s ends the samples for its N.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/net_util.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPerAddress = 32;
constexpr int kSamples = 20;
constexpr auto kReplyPatience = std::chrono::seconds(30);

// True once reply holds a head and the body its Content-Length announces.
bool WholeReply(const std::string& reply) {
    size_t head = reply.find("\r\n\r\n");
    if (head == std::string::npos) return false;
    size_t at = reply.find("Content-Length: ");
    if (at == std::string::npos || at > head) return true;  // without a length: up to the close
    return reply.size() >= head + 4 + std::strtoul(reply.c_str() + at + 16, nullptr, 10);
}

// One GET of path on a fresh connection from source; the reply's body, "" when none came.
std::string Fetch(const char* source, int port, const std::string& path) {
    int fd = norvex::test::ConnectLoopbackFrom(source, port);
    if (fd < 0) return "";
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: b\r\n\r\n";
    std::string reply;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
        char buf[512];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) {
            reply.append(buf, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    size_t body = reply.find("\r\n\r\n");
    return body == std::string::npos ? "" : reply.substr(body + 4);
}

// A bound group with the password "right1"; its ID, "" when it could not be made.
std::string MakeGroup(int port) {
    const std::string serial =
        Fetch("127.0.0.1", port, "/norvex/precreategroup.asp?name=b&pwd=right1");
    const std::string id = "77" + serial;
    const std::string bound = Fetch(
        "127.0.0.1", port, "/norvex/updateonenetinfo.asp?id=" + serial + "&pwd=right1&devid=" + id);
    return bound == "ok" ? id : "";
}

// One GET on a fresh connection; seconds until the whole reply came, or -1.
double TimedRequest(int port) {
    const auto start = Clock::now();
    int fd = norvex::test::ConnectLoopbackFrom("127.0.0.1", port);
    if (fd < 0) return -1;
    const char request[] =
        "GET /norvex/getgroupdevices.asp?groupid=none HTTP/1.1\r\nHost: b\r\n\r\n";
    std::string reply;
    if (::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) > 0) {
        const auto deadline = start + kReplyPatience;
        char buf[512];
        while (Clock::now() < deadline && !WholeReply(reply)) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            reply.append(buf, static_cast<size_t>(n));
        }
    }
    const auto end = Clock::now();
    ::close(fd);
    if (reply.find("\r\n\r\nerr") == std::string::npos) return -1;
    return std::chrono::duration<double>(end - start).count();
}

long RssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Held connections, each with the first half of a request sent.
std::vector<int> OpenHalfRequests(int port, int count, bool oneAddress) {
    std::vector<int> fds;
    const char part[] = "GET /norvex/getgroupdevices.asp?groupid=1 HTTP/1.1\r\nHost: x";
    for (int i = 0; i < count; ++i) {
        std::string source = oneAddress ? "127.0.0.1"
                                        : "127.0." + std::to_string(i / kPerAddress / 250) + "." +
                                              std::to_string(2 + i / kPerAddress % 250);
        int fd = norvex::test::ConnectLoopbackFrom(source.c_str(), port);
        if (fd < 0) break;
        (void)::send(fd, part, sizeof part - 1, MSG_NOSIGNAL);
        fds.push_back(fd);
    }
    return fds;
}

// Times fresh requests while 64 wrong-password logins are checked; prints one line per sample.
void HashFlood(int port) {
    const std::string id = MakeGroup(port);
    if (id.empty()) {
        std::fprintf(stderr, "no group could be made\n");
        return;
    }
    constexpr int kFlood = 64;
    for (int round = 0; round < 5; ++round) {
        std::atomic<int> answered{0};
        const auto start = Clock::now();
        std::vector<std::thread> flood;
        for (int i = 0; i < kFlood; ++i) {
            flood.emplace_back([&, i] {
                const char* source = i % 2 ? "127.0.0.2" : "127.0.0.3";
                if (Fetch(source, port, "/norvex/getonenetinfo.asp?devid=" + id + "&pwd=no") ==
                    "err") {
                    ++answered;
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the flood is queued
        double page = TimedRequest(port);
        const int during = answered.load();
        for (std::thread& t : flood) t.join();
        const double all = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("page %8.2f ms  (logins answered meanwhile: %d of %d; whole flood %.0f ms)\n",
                    page * 1000, during, kFlood, all * 1000);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string groupd = NORVEX_GROUPD_BIN;
    std::vector<int> floods;
    bool oneAddress = false;
    bool hashFlood = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--groupd" && i + 1 < argc) {
            groupd = argv[++i];
        } else if (std::string(argv[i]) == "--one-address") {
            oneAddress = true;
        } else if (std::string(argv[i]) == "--hash-flood") {
            hashFlood = true;
        } else {
            floods.push_back(std::atoi(argv[i]));
        }
    }
    if (floods.empty()) floods = {0, 500, 1000, 2000};

    char tmpl[] = "/tmp/norvex-groupd-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    const int port = norvex::test::FreeLoopbackPort();
    norvex::test::ChildProcess service;
    if (!service.Start({groupd, "--port", std::to_string(port), "--db", dir + "/g.db"}, {},
                       dir + "/groupd.log") ||
        !norvex::test::WaitForListener(port, std::chrono::seconds(10))) {
        std::fprintf(stderr, "norvex-groupd did not start\n");
        return 1;
    }
    if (hashFlood) floods.clear();
    if (hashFlood) HashFlood(port);
    if (!floods.empty()) {
        std::printf("%8s %8s %12s %12s %12s %10s\n", "held", "opened", "median ms", "max ms",
                    "unanswered", "RSS KiB");
    }
    for (int flood : floods) {
        std::vector<int> held = OpenHalfRequests(port, flood, oneAddress);
        std::vector<double> times;
        int unanswered = 0;
        for (int i = 0; i < kSamples; ++i) {
            double t = TimedRequest(port);
            if (t < 0) {
                ++unanswered;
                break;
            }
            times.push_back(t * 1000);
        }
        std::sort(times.begin(), times.end());
        double median = times.empty() ? -1 : times[times.size() / 2];
        double worst = times.empty() ? -1 : times.back();
        std::printf("%8d %8zu %12.2f %12.2f %12d %10ld\n", flood, held.size(), median, worst,
                    unanswered, RssKiB(service.Pid()));
        std::fflush(stdout);
        for (int fd : held) ::close(fd);
        // the service notices the closed connections on its next pass
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    service.Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
