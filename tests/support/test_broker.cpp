#include "support/test_broker.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "support/aedes_broker.h"
#include "support/child_process.h"
#include "support/mosquitto_broker.h"
#include "support/rabbitmq_broker.h"

namespace norvex::test {

bool TestBroker::Publish(const std::vector<std::string>& args,
                         std::chrono::milliseconds limit) const {
    std::vector<std::string> argv = {NORVEX_MOSQUITTO_PUB_BIN, "-h", "127.0.0.1", "-p",
                                     std::to_string(Port())};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, {}, nullptr, limit) == 0;
}

const char* BrokerName(BrokerKind kind) {
    switch (kind) {
        case BrokerKind::kMosquitto:
            return "mosquitto";
        case BrokerKind::kAedes:
            return "aedes";
        case BrokerKind::kRabbitMq:
            return "rabbitmq";
    }
    return "?";
}

std::unique_ptr<TestBroker> MakeTestBroker(BrokerKind kind) {
    switch (kind) {
        case BrokerKind::kMosquitto:
            return std::make_unique<MosquittoBroker>();
        case BrokerKind::kAedes:
            return std::make_unique<AedesBroker>();
        case BrokerKind::kRabbitMq:
            return std::make_unique<RabbitMqBroker>();
    }
    return nullptr;
}

std::vector<BrokerKind> TestBrokerKinds() {
    std::vector<BrokerKind> kinds{BrokerKind::kMosquitto, BrokerKind::kAedes};
    const char* rabbit = std::getenv("NORVEX_TEST_RABBITMQ");
    if (rabbit != nullptr && std::string_view(rabbit) == "1")
        kinds.push_back(BrokerKind::kRabbitMq);
    return kinds;
}

std::string BrokerUnavailable(BrokerKind kind) {
    if (kind == BrokerKind::kAedes &&
        !std::filesystem::exists(AedesBroker::Folder() + "/node_modules/aedes")) {
        return "aedes is not installed in " + AedesBroker::Folder() +
               " (scripts/test.sh runs npm ci there)";
    }
    if (kind == BrokerKind::kRabbitMq &&
        !std::filesystem::exists("/usr/lib/rabbitmq/bin/rabbitmq-server")) {
        return "rabbitmq-server is not installed";
    }
    return {};
}

}  // namespace norvex::test
