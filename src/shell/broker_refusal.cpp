#include "shell/broker_refusal.h"

namespace norvex {

namespace {

const char* Meaning(int code) {
    switch (code) {
        case 1:
            return "unacceptable protocol version";
        case 2:
            return "identifier rejected";
        case 3:
            return "server unavailable";
        case 4:
            return "bad user name or password";
        case 5:
            return "not authorised";
        default:
            return "unknown code";
    }
}

}  // namespace

std::string BrokerRefusalLine(int connAckCode) {
    return "broker: login refused: CONNACK code " + std::to_string(connAckCode) + " (" +
           Meaning(connAckCode) + ")";
}

}  // namespace norvex
