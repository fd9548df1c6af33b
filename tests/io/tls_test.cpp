// The broker link over TLS: BrokerSocket and the MQTT codec against a real mosquitto with a TLS
// listener, with a CA and certificates made at test time.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/broker_socket.h"
#include "mqtt/mqtt.h"
#include "mqtt/wire_fixture.h"
#include "support/child_process.h"
#include "support/mosquitto_broker.h"
#include "support/net_util.h"
#include "support/test_pki.h"

namespace norvex {
namespace {

using namespace std::chrono_literals;
using test::BrokerTls;
using test::MosquittoBroker;
using test::PemPair;
using test::WaitUntil;

// TLS on, with these files and name (empty: not given).
TlsSettings TlsWith(const std::string& ca, const std::string& cert = {},
                    const std::string& key = {}, const std::string& name = {}) {
    return TlsSettings{
        .enabled = true, .caFile = ca, .certFile = cert, .keyFile = key, .verifyName = name};
}

// An MQTT session over a BrokerSocket, with the reader and writer the engine uses.  Waits the
// way the engine must: bytes already decrypted first, poll() on the descriptor only after.
class SocketSession {
public:
    explicit SocketSession(BrokerSocket& sock) : sock_(sock) {
        mqtt::SetupSession(&s_, &SocketReader, &sock_, &SocketWriter, &sock_, wire.Handlers());
    }
    ~SocketSession() { mqtt::FreeSession(&s_); }
    SocketSession(const SocketSession&) = delete;
    SocketSession& operator=(const SocketSession&) = delete;

    bool Connect(int port) {
        if (sock_.BeginConnect("127.0.0.1", port) != 0) return false;
        WaitUntil([&] { return sock_.PollConnect(100) != 0; }, 10s);
        return sock_.IsConnected();
    }
    bool Send(mqtt::PacketChain* chain) {
        uint32_t total = chain->total;
        int32_t r = mqtt::SendChain(&s_, chain);
        mqtt::ReleaseChain(chain);
        return total != 0 && r == static_cast<int32_t>(total);
    }
    // CONNECT, without waiting for the answer
    bool SendConnect() {
        mqtt::PacketChain chain{};
        const uint8_t password[] = {'x'};
        return mqtt::BuildConnect(&chain, "norvexHost", "", password, 1) == 0 && Send(&chain);
    }
    bool Login() {
        return SendConnect() && PumpUntil([&] { return Saw("connack 0 0"); });
    }
    bool PumpUntil(const std::function<bool()>& pred) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!pred()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            int32_t r = mqtt::ReceivePacket(&s_);
            if (r == mqtt::kErrNoData && !sock_.HasPendingInput()) {
                pollfd p{sock_.Fd(), POLLIN, 0};
                ::poll(&p, 1, 50);
            } else if (r != 0 && r != mqtt::kErrNoData) {
                return false;
            }
        }
        return true;
    }
    bool Saw(const std::string& call) const {
        return std::find(wire.calls.begin(), wire.calls.end(), call) != wire.calls.end();
    }

    test::Wire wire;

private:
    BrokerSocket& sock_;
    mqtt::Session s_{};
};

// Publishes one QoS 1 message over TLS with the broker's own client.  It trusts our CA but does
// not check the broker's name, which is what the cases vary.
bool ExternalPublish(int port, const std::string& ca, const PemPair* client,
                     const std::string& topic, const std::string& message) {
    std::vector<std::string> argv = {NORVEX_MOSQUITTO_PUB,
                                     "-h",
                                     "127.0.0.1",
                                     "-p",
                                     std::to_string(port),
                                     "--cafile",
                                     ca,
                                     "--insecure",
                                     "-q",
                                     "1",
                                     "-t",
                                     topic,
                                     "-m",
                                     message};
    if (client != nullptr) argv.insert(argv.end(), {"--cert", client->cert, "--key", client->key});
    test::ChildProcess pub;
    if (!pub.Start(argv)) return false;
    int status = pub.Wait(10000ms);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Certificates for every case: our CA, a stranger's CA, and what they issued.
class TlsBroker : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/norvex-tls-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ca_ = std::make_unique<test::TestCa>(dir_, "site");
        strangerCa_ = std::make_unique<test::TestCa>(dir_, "stranger");
        ASSERT_TRUE(ca_->Ok() && strangerCa_->Ok());
        forAddress_ = ca_->IssueServer("broker-ip", "IP:127.0.0.1");
        forName_ = ca_->IssueServer("broker-name", "IP:127.0.0.2,DNS:broker.test");
        client_ = ca_->IssueClient("norvex-host");
        ASSERT_FALSE(forAddress_.cert.empty() || forName_.cert.empty() || client_.cert.empty());
        // certificate and key in one file, as a certificate file without a key file may be
        bothInOne_ = dir_ + "/norvex-host-both.pem";
        namespace fs = std::filesystem;
        fs::copy_file(client_.cert, bothInOne_);
        std::ofstream(bothInOne_, std::ios::app) << std::ifstream(client_.key).rdbuf();
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    BrokerTls ListenerWith(const PemPair& server, bool requireCertificate) const {
        return BrokerTls{ca_->CertFile(), server.cert, server.key, requireCertificate};
    }

    std::string dir_;
    std::unique_ptr<test::TestCa> ca_;
    std::unique_ptr<test::TestCa> strangerCa_;
    PemPair forAddress_;
    PemPair forName_;
    PemPair client_;
    std::string bothInOne_;
};

TEST_F(TlsBroker, DataFlowsOnlyWhenTheBrokerIsWhoTheSettingsTrust) {
    enum class Server { kAddress, kName, kPlain };
    enum class Client { kNone, kCertAndKey, kOneFile };
    struct Case {
        const char* name;
        Server server;
        bool requireCertificate;
        bool strangerCa;       // the CA file names a CA that signed nothing of the broker's
        const char* verifyAs;  // the name to verify, or nullptr
        Client client;
        const char* failsAt;    // nullptr: the published message arrives
        const char* reasonHas;  // in LastError() of the failure
    };
    const Case cases[] = {
        {"trusted CA, certificate names the address", Server::kAddress, false, false, nullptr,
         Client::kNone, nullptr, nullptr},
        {"unknown CA", Server::kAddress, false, true, nullptr, Client::kNone, "connect",
         "certificate verify failed"},
        {"certificate names another address", Server::kName, false, false, nullptr, Client::kNone,
         "connect", "certificate verify failed: IP address mismatch"},
        {"host name found among the DNS entries", Server::kName, false, false, "broker.test",
         Client::kNone, nullptr, nullptr},
        {"host name missing from the certificate", Server::kAddress, false, false, "other.test",
         Client::kNone, "connect", "certificate verify failed: hostname mismatch"},
        {"client certificate required and given", Server::kAddress, true, false, nullptr,
         Client::kCertAndKey, nullptr, nullptr},
        {"client certificate and key in one file", Server::kAddress, true, false, nullptr,
         Client::kOneFile, nullptr, nullptr},
        {"client certificate required, none given", Server::kAddress, true, false, nullptr,
         Client::kNone, "login", "certificate required"},
        {"broker without TLS", Server::kPlain, false, false, nullptr, Client::kNone, "connect",
         "TLS handshake failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<BrokerTls> listener;
        if (c.server != Server::kPlain) {
            listener = ListenerWith(c.server == Server::kAddress ? forAddress_ : forName_,
                                    c.requireCertificate);
        }
        MosquittoBroker broker(listener);
        ASSERT_TRUE(broker.Start()) << broker.LogFile();
        BrokerSocket sock(TlsWith(c.strangerCa ? strangerCa_->CertFile() : ca_->CertFile(),
                                  c.client == Client::kNone      ? ""
                                  : c.client == Client::kOneFile ? bothInOne_
                                                                 : client_.cert,
                                  c.client == Client::kCertAndKey ? client_.key : "",
                                  c.verifyAs ? c.verifyAs : ""));
        SocketSession session(sock);

        std::string failedAt;
        mqtt::PacketChain chain{};
        const char* const filters[2] = {"/group/G1/client/status", "/group/G1/client"};
        if (!session.Connect(broker.Port())) {
            failedAt = "connect";
        } else if (!session.Login()) {
            failedAt = "login";
        } else if (mqtt::BuildSubscribe(&chain, filters) != 0 || !session.Send(&chain) ||
                   !session.PumpUntil([&] { return session.Saw("suback 1 [02 02]"); })) {
            failedAt = "subscribe";
        } else {
            const PemPair* pubClient = c.requireCertificate ? &client_ : nullptr;
            ASSERT_TRUE(ExternalPublish(broker.Port(), ca_->CertFile(), pubClient,
                                        "/group/G1/client", "relay-data"));
            // "relay-data" in hex, at QoS 1
            const std::string tail =
                "[/group/G1/client] [72 65 6C 61 79 2D 64 61 74 61] dup=0 qos=1";
            bool arrived = session.PumpUntil([&] {
                for (const std::string& call : session.wire.calls) {
                    if (call.rfind("publish ", 0) == 0 && call.find(tail) != std::string::npos) {
                        return true;
                    }
                }
                return false;
            });
            if (!arrived) failedAt = "delivery";
        }

        if (c.failsAt == nullptr) {
            EXPECT_EQ(failedAt, "") << sock.LastError();
            continue;
        }
        EXPECT_EQ(failedAt, c.failsAt) << sock.LastError();
        EXPECT_NE(sock.LastError().find(c.reasonHas), std::string::npos) << sock.LastError();
        EXPECT_NE(sock.LastErrno(), 0);
        if (failedAt == "connect") {
            EXPECT_FALSE(sock.IsOpen()) << "a refused handshake closes the socket";
        }
    }
}

TEST_F(TlsBroker, DecryptedBytesHeldBackAreAnnouncedUntilRead) {
    MosquittoBroker broker(ListenerWith(forAddress_, false));
    ASSERT_TRUE(broker.Start()) << broker.LogFile();
    BrokerSocket sock(TlsWith(ca_->CertFile()));
    SocketSession session(sock);
    ASSERT_TRUE(session.Connect(broker.Port())) << sock.LastError();
    EXPECT_FALSE(sock.HasPendingInput());
    ASSERT_TRUE(session.SendConnect());

    // the CONNACK comes as one record: taking one byte of it leaves three inside the socket
    // object, where poll() on the descriptor cannot see them
    uint8_t got[8] = {};
    int n = 0;
    ASSERT_TRUE(WaitUntil([&] { return (n = sock.Receive(got, 1)) != 0; }, 10s));
    ASSERT_EQ(n, 1) << sock.LastError();
    EXPECT_TRUE(sock.HasPendingInput());
    EXPECT_TRUE(sock.WaitReadable(0));
    EXPECT_EQ(sock.Receive(got + 1, sizeof got - 1), 3);
    EXPECT_FALSE(sock.HasPendingInput());
    EXPECT_EQ(test::ToHex(got, 4), "20 02 00 00");

    // a broker that goes away is an end of the connection, not a quiet one
    broker.Stop();
    ASSERT_TRUE(WaitUntil([&] { return (n = sock.Receive(got, sizeof got)) != 0; }, 10s));
    EXPECT_EQ(n, -1);
}

TEST_F(TlsBroker, MegabytesInUnevenPiecesArriveIntactThroughAFullSendBuffer) {
    MosquittoBroker broker(ListenerWith(forAddress_, false));
    ASSERT_TRUE(broker.Start()) << broker.LogFile();
    BrokerSocket sock(TlsWith(ca_->CertFile()));
    SocketSession session(sock);
    ASSERT_TRUE(session.Connect(broker.Port())) << sock.LastError();
    ASSERT_TRUE(session.Login());
    // a small send buffer makes the TLS writes meet a full socket and be continued
    int small = 4096;
    ASSERT_EQ(::setsockopt(sock.Fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);

    // one QoS 0 PUBLISH of 3 MiB, then a PINGREQ: the broker answers the PINGREQ only if every
    // byte before it arrived, in order, framed as sent
    const std::string topic = "/group/G1/bulk";
    std::vector<uint8_t> payload(3 * 1024 * 1024 + 7);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>('a' + i % 26);
    std::vector<uint8_t> header = {0x30};
    for (size_t left = 2 + topic.size() + payload.size();; left >>= 7) {
        header.push_back(static_cast<uint8_t>((left & 0x7F) | (left > 0x7F ? 0x80 : 0)));
        if (left <= 0x7F) break;
    }
    header.insert(header.end(), {0x00, static_cast<uint8_t>(topic.size())});
    header.insert(header.end(), topic.begin(), topic.end());
    uint8_t ping[] = {0xC0, 0x00};
    iovec vec[] = {{header.data(), header.size()},
                   {ping, 0},
                   {payload.data(), 5},
                   {payload.data() + 5, 1024 * 1024},
                   {payload.data() + 5 + 1024 * 1024, payload.size() - 5 - 1024 * 1024},
                   {ping, sizeof ping}};
    const size_t total = header.size() + payload.size() + sizeof ping;
    EXPECT_EQ(sock.SendAll(vec, static_cast<int>(std::size(vec)), 30000),
              static_cast<int32_t>(total))
        << sock.LastError();
    EXPECT_TRUE(session.PumpUntil([&] { return session.Saw("pingresp"); })) << sock.LastError();
}

TEST_F(TlsBroker, UnusableSettingsFailAtOnceAndEachAttemptReadsTheFilesAgain) {
    MosquittoBroker broker(ListenerWith(forAddress_, false));
    ASSERT_TRUE(broker.Start()) << broker.LogFile();
    const std::string laterCa = dir_ + "/arrives-later-ca.pem";
    struct Case {
        const char* name;
        std::string ca, cert, key;
        const char* reasonHas;
    };
    const Case cases[] = {
        {"CA file missing", laterCa, "", "", "cannot load CA certificates from "},
        {"key without a certificate", ca_->CertFile(), "", client_.key,
         "without a client certificate"},
        {"key of another certificate", ca_->CertFile(), client_.cert, forAddress_.key,
         "does not match"},
        {"certificate file that is none", ca_->CertFile(), client_.key, client_.key,
         "cannot load client certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrokerSocket sock(TlsWith(c.ca, c.cert, c.key));
        EXPECT_EQ(sock.BeginConnect("127.0.0.1", broker.Port()), -1);
        EXPECT_FALSE(sock.IsOpen());
        EXPECT_EQ(sock.LastErrno(), EINVAL);
        EXPECT_NE(sock.LastError().find(c.reasonHas), std::string::npos) << sock.LastError();
    }

    // the reconnect loop goes on with the same socket: once the file is there, it connects
    BrokerSocket sock(TlsWith(laterCa));
    EXPECT_EQ(sock.BeginConnect("127.0.0.1", broker.Port()), -1);
    std::filesystem::copy_file(ca_->CertFile(), laterCa);
    ASSERT_EQ(sock.BeginConnect("127.0.0.1", broker.Port()), 0) << sock.LastError();
    int r = 0;
    ASSERT_TRUE(WaitUntil([&] { return (r = sock.PollConnect(100)) != 0; }, 10s));
    EXPECT_EQ(r, 1) << sock.LastError();
    EXPECT_EQ(sock.LastError(), "");
}

}  // namespace
}  // namespace norvex
