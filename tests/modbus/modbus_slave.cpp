// A Modbus RTU slave on a pseudo-terminal, for the end-to-end tests and the benchmark: it makes
// the terminal itself and links its line end at --link, where a relay opens it as its serial
// port; it answers requests for its unit id from its holding registers and ignores the others,
// as a device on a shared RS-485 bus does.  Holding register 0 counts the requests it answered
// (this one included), so that a master can tell a fresh answer from a late one; register i > 0
// starts as ID * 1000 + i.
//
// Output (line-buffered): "ready" once the link is in place; "write REF COUNT: V..." after each
// write it executed; "holding: V..." with every register on SIGUSR1.  SIGTERM or SIGINT ends it
// with status 0.
#include <errno.h>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace {

constexpr int kDefaultRegisters = MODBUS_MAX_READ_REGISTERS;
// A request's bytes follow one another closely on the line; one that stops longer than this is
// cut off and thrown away, as a device does after a gap in the frame.
constexpr int kByteTimeoutUs = 50000;

struct Options {
    std::string link;
    int unit = 0;
    int registers = kDefaultRegisters;
};

bool ParseInt(const char* text, int lo, int hi, int& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string_view name = argv[i];
        if (name == "--link") {
            o.link = argv[i + 1];
        } else if (name == "--unit") {
            if (!ParseInt(argv[i + 1], 1, 247, o.unit)) return false;
        } else if (name == "--registers") {
            if (!ParseInt(argv[i + 1], 1, MODBUS_MAX_READ_REGISTERS, o.registers)) return false;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !o.link.empty() && o.unit != 0;
}

// The terminal pair: the master end is served here; the line end keeps one descriptor open
// here too, so that a relay closing and reopening it never hangs the line up, and it starts
// raw, so that nothing is echoed before the relay sets the line up.
struct Terminal {
    norvex::UniqueFd master;
    norvex::UniqueFd line;
    std::string linePath;
};

bool OpenTerminal(Terminal& t) {
    t.master = norvex::UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!t.master || ::grantpt(t.master.Get()) != 0 || ::unlockpt(t.master.Get()) != 0)
        return false;
    char name[128];
    if (::ptsname_r(t.master.Get(), name, sizeof name) != 0) return false;
    t.linePath = name;
    t.line = norvex::UniqueFd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!t.line) return false;
    termios tio{};
    if (::tcgetattr(t.line.Get(), &tio) != 0) return false;
    ::cfmakeraw(&tio);
    return ::tcsetattr(t.line.Get(), TCSANOW, &tio) == 0;
}

// The link at PATH is this program's: one left by an earlier run is replaced, anything else
// there is refused.
bool MakeLink(const std::string& target, const std::string& path) {
    std::string tmp = path + ".new";
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0) return false;
    return ::rename(tmp.c_str(), path.c_str()) == 0;
}

void PrintRegisters(const char* head, const uint16_t* regs, int count) {
    std::printf("%s", head);
    for (int i = 0; i < count; ++i) std::printf(" %u", regs[i]);
    std::printf("\n");
}

// Reports a write this slave carried out, from the request it answered.
void NoteWrite(const uint8_t* req, int headerLength, const modbus_mapping_t* map) {
    const uint8_t* pdu = req + headerLength;
    int function = pdu[0];
    int ref = (pdu[1] << 8) | pdu[2];
    int count = 0;
    if (function == MODBUS_FC_WRITE_SINGLE_REGISTER) count = 1;
    if (function == MODBUS_FC_WRITE_MULTIPLE_REGISTERS) count = (pdu[3] << 8) | pdu[4];
    if (count == 0 || ref + count > map->nb_registers) return;
    char head[48];
    std::snprintf(head, sizeof head, "write %d %d:", ref, count);
    PrintRegisters(head, map->tab_registers + ref, count);
}

using ContextPtr = std::unique_ptr<modbus_t, decltype(&modbus_free)>;
using MappingPtr = std::unique_ptr<modbus_mapping_t, decltype(&modbus_mapping_free)>;

norvex::UniqueFd StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&set, s);
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return {};
    return norvex::UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
}

// The context frames requests and answers them; it is handed the master end and never opens or
// closes a device itself (its close would put back line settings it never read).
ContextPtr MakeContext(const Terminal& term, int unit) {
    ContextPtr ctx(modbus_new_rtu(term.linePath.c_str(), 115200, 'N', 8, 1), &modbus_free);
    if (!ctx || modbus_set_slave(ctx.get(), unit) != 0 ||
        modbus_set_socket(ctx.get(), term.master.Get()) != 0) {
        return ContextPtr(nullptr, &modbus_free);
    }
    modbus_set_byte_timeout(ctx.get(), 0, kByteTimeoutUs);
    return ctx;
}

// Serves until SIGTERM or SIGINT; false on a failure of the terminal.
bool Serve(const Terminal& term, int unit, modbus_mapping_t* map, int signalFd) {
    ContextPtr ctx = MakeContext(term, unit);
    if (!ctx) return false;
    uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH];
    int headerLength = modbus_get_header_length(ctx.get());
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {term.master.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo != SIGUSR1) return true;
                PrintRegisters("holding:", map->tab_registers, map->nb_registers);
            }
        }
        if (!(fds[1].revents & POLLIN)) continue;
        int n = modbus_receive(ctx.get(), req);
        if (n > 0) {
            ++map->tab_registers[0];
            if (modbus_reply(ctx.get(), req, n, map) > 0) NoteWrite(req, headerLength, map);
        } else if (n == 0) {
            // Another unit's request.  The context now takes the next frame for that unit's
            // answer, as it would be on a shared bus; behind a relay only requests arrive here
            // (answers go to the host alone), so the next frame is read as a request again.
            ctx = MakeContext(term, unit);
            if (!ctx) return false;
        }
        // n < 0: a frame cut short or with a bad CRC, nothing to answer
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: modbus_slave --link PATH --unit ID [--registers N]\n"
                     "holding register 0 counts the answered requests, register i > 0\n"
                     "starts as ID * 1000 + i\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    norvex::UniqueFd signals = StopSignals();
    Terminal term;
    if (!signals || !OpenTerminal(term) || !MakeLink(term.linePath, o.link)) {
        std::fprintf(stderr, "modbus_slave: cannot set up the terminal at %s: %s\n", o.link.c_str(),
                     std::strerror(errno));
        return 1;
    }
    MappingPtr map(modbus_mapping_new(0, 0, o.registers, 0), &modbus_mapping_free);
    if (!map) {
        std::fprintf(stderr, "modbus_slave: %s\n", modbus_strerror(errno));
        return 1;
    }
    for (int i = 1; i < o.registers; ++i)
        map->tab_registers[i] = static_cast<uint16_t>(o.unit * 1000 + i);
    std::printf("ready\n");
    bool ok = Serve(term, o.unit, map.get(), signals.Get());
    ::unlink(o.link.c_str());
    return ok ? 0 : 1;
}
