#include "support/rabbitmq_broker.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/net_util.h"

namespace norvex::test {

namespace {

constexpr char kServer[] = "/usr/lib/rabbitmq/bin/rabbitmq-server";
constexpr char kCtl[] = "/usr/lib/rabbitmq/bin/rabbitmqctl";
constexpr auto kBootLimit = std::chrono::seconds(90);

}  // namespace

RabbitMqBroker::RabbitMqBroker()
    : mqttPort_(FreeLoopbackPort()), amqpPort_(FreeLoopbackPort()), distPort_(FreeLoopbackPort()) {
    char tmpl[] = "/tmp/norvex-rabbitmq-XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    dir_ = d ? d : "/tmp";
    node_ = "norvex" + std::to_string(mqttPort_) + "@localhost";
    std::ofstream(dir_ + "/rabbitmq.conf")
        << "listeners.tcp.default = 127.0.0.1:" << amqpPort_ << "\n"
        << "mqtt.listeners.tcp.default = 127.0.0.1:" << mqttPort_ << "\n"
        << "mqtt.allow_anonymous = true\n"
        << "mqtt.tcp_listen_options.nodelay = true\n";
    std::ofstream(dir_ + "/enabled_plugins") << "[rabbitmq_mqtt].\n";
}

RabbitMqBroker::~RabbitMqBroker() {
    Stop();
    std::error_code ec;
    if (dir_ != "/tmp") std::filesystem::remove_all(dir_, ec);
}

std::vector<std::string> RabbitMqBroker::Env() const {
    return {"RABBITMQ_NODENAME=" + node_,
            "RABBITMQ_NODE_IP_ADDRESS=127.0.0.1",
            "RABBITMQ_NODE_PORT=" + std::to_string(amqpPort_),
            "RABBITMQ_DIST_PORT=" + std::to_string(distPort_),
            "RABBITMQ_CONFIG_FILE=" + dir_ + "/rabbitmq",
            "RABBITMQ_ENABLED_PLUGINS_FILE=" + dir_ + "/enabled_plugins",
            "RABBITMQ_MNESIA_BASE=" + dir_ + "/mnesia",
            "RABBITMQ_LOG_BASE=" + dir_ + "/log",
            "RABBITMQ_PID_FILE=" + dir_ + "/rabbitmq.pid"};
}

bool RabbitMqBroker::Ctl(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {kCtl, "-n", node_};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess ctl;
    if (!ctl.Start(argv, Env(), dir_ + "/ctl.log")) return false;
    int status = ctl.Wait(std::chrono::seconds(60));
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool RabbitMqBroker::Start() {
    if (proc_.Running()) return true;
    if (!proc_.Start({kServer}, Env(), dir_ + "/server.log")) return false;
    return WaitForListener(mqttPort_, kBootLimit);
}

void RabbitMqBroker::Stop() {
    if (!proc_.Running()) return;
    Ctl({"stop"});  // the node, not only the script that started it
    proc_.Stop();
}

bool RabbitMqBroker::AddUser(const std::string& user, const std::string& password) {
    Ctl({"delete_user", user});
    return Ctl({"add_user", user, password}) &&
           Ctl({"set_permissions", "-p", "/", user, ".*", ".*", ".*"});
}

}  // namespace norvex::test
