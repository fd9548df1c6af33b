#include "support/mosquitto_broker.h"

#include <unistd.h>

#include <fstream>

#include "support/net_util.h"

namespace norvex::test {

MosquittoBroker::MosquittoBroker(const std::optional<BrokerTls>& tls)
    : port_(FreeLoopbackPort()),
      conf_(dir_.File("mosquitto.conf")),
      log_(dir_.File("mosquitto.log")) {
    std::ofstream conf(conf_);
    // Nagle off on the broker's side too: otherwise relay-sim's (libmosquitto's) delayed ACKs
    // hold the broker's next small packet to it for 40 ms, and every round trip measures that.
    conf << "listener " << port_ << " 127.0.0.1\n"
         << "allow_anonymous true\n"
         << "persistence false\n"
         << "max_queued_messages 100000\n"
         << "max_inflight_messages 0\n"
         << "set_tcp_nodelay true\n";
    if (tls) {
        conf << "cafile " << tls->caFile << "\n"
             << "certfile " << tls->certFile << "\n"
             << "keyfile " << tls->keyFile << "\n"
             << "require_certificate " << (tls->requireCertificate ? "true" : "false") << "\n";
    }
    if (::geteuid() == 0) conf << "user root\n";
}

bool MosquittoBroker::Start() {
    if (proc_.Running()) return true;
    if (!proc_.Start({NORVEX_MOSQUITTO_BIN, "-c", conf_}, {}, log_)) return false;
    return WaitForListener(port_, std::chrono::milliseconds(5000));
}

void MosquittoBroker::Stop() {
    proc_.Stop();
}

}  // namespace norvex::test
