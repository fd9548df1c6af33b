#pragma once
#include <string>

namespace norvex {

// "broker: login refused: CONNACK code 5 (not authorised)": what the broker's CONNACK return
// code means, for a diagnostic line.
std::string BrokerRefusalLine(int connAckCode);

}  // namespace norvex
