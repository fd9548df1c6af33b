#include "mosquitto_proc.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace norvex::soak {

int FreeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

int BindLoopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool PortAccepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

MosquittoProc::MosquittoProc(const std::string& program, const std::string& dir, int port)
    : program_(program),
      conf_(dir + "/mosquitto.conf"),
      fifo_(dir + "/mosquitto.log"),
      port_(port != 0 ? port : FreeLoopbackPort()) {
    ::mkfifo(fifo_.c_str(), 0666);
    logRead_ = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    logKeep_ = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    std::ofstream conf(conf_);
    // Nagle off as in the tests' broker; no per-message lines, so that a flood does not flood
    // the log: connections and subscriptions are what the soak times.
    conf << "listener " << port_ << " 127.0.0.1\n"
         << "allow_anonymous true\n"
         << "persistence false\n"
         << "max_queued_messages 100000\n"
         << "max_inflight_messages 0\n"
         << "set_tcp_nodelay true\n"
         << "log_dest file " << fifo_ << "\n"
         << "log_timestamp false\n"
         << "connection_messages true\n";
    for (const char* t : {"error", "warning", "notice", "information", "subscribe"}) {
        conf << "log_type " << t << "\n";
    }
    if (::geteuid() == 0) conf << "user root\n";
}

MosquittoProc::~MosquittoProc() {
    proc_.Kill();
    if (logRead_ >= 0) ::close(logRead_);
    if (logKeep_ >= 0) ::close(logKeep_);
}

bool MosquittoProc::Start() {
    if (proc_.Running() && proc_.Poll() == -1) return true;
    return proc_.Start({program_, "-c", conf_}, {}, conf_ + ".out");
}

bool MosquittoProc::Listening() const {
    return PortAccepts(port_);
}

}  // namespace norvex::soak
