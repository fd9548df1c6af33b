#pragma once
// The MQTT 3.1.1 client: session, packet chains, packers and receiver.

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_handlers.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/mqtt_receive.h"
#include "mqtt/mqtt_send.h"
#include "mqtt/mqtt_session.h"
#include "mqtt/packet_chain.h"
#include "mqtt/utf8_check.h"
