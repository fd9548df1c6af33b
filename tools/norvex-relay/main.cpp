// norvex-relay: the relay end of a device group, for a Linux computer with a serial port.
#include <sys/signalfd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "common/unique_fd.h"
#include "relay_config.h"
#include "relay_loop.h"

#ifndef NORVEX_VERSION
#define NORVEX_VERSION "0"
#endif

using namespace norvex::relay;

int main(int argc, char** argv) {
    Options opt;
    std::string err;
    if (!ParseOptions(argc, argv, opt, err)) {
        std::fprintf(stderr, "norvex-relay: %s\n", err.c_str());
        return 2;
    }
    if (opt.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (opt.version) {
        std::printf("norvex-relay %s\n", NORVEX_VERSION);
        return 0;
    }
    sigset_t sigs;
    sigemptyset(&sigs);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&sigs, s);
    sigprocmask(SIG_BLOCK, &sigs, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    norvex::UniqueFd sfd(::signalfd(-1, &sigs, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!sfd) {
        std::perror("norvex-relay: signalfd");
        return 1;
    }
    RelayLoop relay(opt.config, opt.configPath, norvex::SystemTickClock());
    int rc = relay.Run(sfd.Get());
    std::fprintf(
        stderr, "%s\n",
        FormatRelayStats(relay.Counters(), std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::system_clock::now().time_since_epoch())
                                               .count())
            .c_str());
    return rc;
}
