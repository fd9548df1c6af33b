#include "support/port_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <utility>

namespace norvex::test {

namespace {

// Commands: "open", "close", "write HEX", "read LEN MS", "line"; one answer line each, "ok",
// hex bytes or "err <reason>".
constexpr char kProgram[] = R"PY(
import os, sys, select, termios, time
path = sys.argv[1]
fd = -1
def answer(text):
    sys.stdout.write(text + "\n"); sys.stdout.flush()
for line in sys.stdin:
    cmd = line.split()
    try:
        if cmd[0] == "open":
            fd = os.open(path, os.O_RDWR | os.O_NOCTTY); answer("ok")
        elif cmd[0] == "close":
            os.close(fd); fd = -1; answer("ok")
        elif cmd[0] == "write":
            data = bytes.fromhex(cmd[1]) if len(cmd) > 1 else b""
            while data:
                data = data[os.write(fd, data):]
            termios.tcdrain(fd); answer("ok")
        elif cmd[0] == "read":
            want, end = int(cmd[1]), time.monotonic() + int(cmd[2]) / 1000.0
            got = b""
            while len(got) < want and time.monotonic() < end:
                r, _, _ = select.select([fd], [], [], max(0.0, end - time.monotonic()))
                if r:
                    got += os.read(fd, want - len(got))
            answer(got.hex() or "-")
        elif cmd[0] == "line":
            a = termios.tcgetattr(fd)
            raw = (a[3] & (termios.ECHO | termios.ICANON | termios.ISIG)) == 0 and (a[1] & termios.OPOST) == 0 \
                and (a[2] & termios.CSIZE) == termios.CS8 and (a[2] & termios.PARENB) == 0 and (a[2] & termios.CSTOPB) == 0
            speeds = {termios.B115200: "115200"}
            answer("%s %s %d" % (speeds.get(a[4], "?"), speeds.get(a[5], "?"), 1 if raw else 0))
        else:
            answer("err unknown")
    except Exception as e:
        answer("err " + str(e).replace("\n", " "))
)PY";

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02x", v);
        s += b;
    }
    return s;
}

std::vector<uint8_t> Unhex(const std::string& s) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        v.push_back(static_cast<uint8_t>(std::stoi(s.substr(i, 2), nullptr, 16)));
    return v;
}

}  // namespace

PortProgram::PortProgram(std::string path) : path_(std::move(path)) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::execlp("python3", "python3", "-c", kProgram, path_.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toProgram_ = in[1];
    fromProgram_ = out[0];
    pid_ = pid;
}

PortProgram::~PortProgram() {
    if (toProgram_ >= 0) ::close(toProgram_);  // end of input ends the program
    if (fromProgram_ >= 0) ::close(fromProgram_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

std::string PortProgram::Ask(const std::string& line, int limitMs) {
    if (pid_ <= 0) return "err not started";
    std::string out = line + "\n";
    if (::write(toProgram_, out.data(), out.size()) != static_cast<ssize_t>(out.size()))
        return "err pipe";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string answer = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return answer;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) return "err no answer";
        pollfd pfd{fromProgram_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) < 0 && errno != EINTR) return "err poll";
        char buf[65536];
        ssize_t n = ::read(fromProgram_, buf, sizeof buf);
        if (n == 0) return "err program ended";
        if (n > 0) pending_.append(buf, static_cast<size_t>(n));
    }
}

bool PortProgram::Open() {
    return Ask("open") == "ok";
}
bool PortProgram::Close() {
    return Ask("close") == "ok";
}
bool PortProgram::Write(const std::vector<uint8_t>& bytes) {
    return Ask("write " + Hex(bytes)) == "ok";
}

std::vector<uint8_t> PortProgram::Read(size_t len, int limitMs) {
    std::string a =
        Ask("read " + std::to_string(len) + " " + std::to_string(limitMs), limitMs + 10000);
    if (a == "-" || a.rfind("err", 0) == 0) return {};
    return Unhex(a);
}

std::string PortProgram::LineSettings() {
    return Ask("line");
}

}  // namespace norvex::test
