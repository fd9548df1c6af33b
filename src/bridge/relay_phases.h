#pragma once
#include "bridge/relay_run.h"

namespace norvex {

// The three phases of the relay loop.  Each returns Next when its job is done, Reconnect when
// the connection must be made again (the socket is closed then), Stop when the run must end.

// Pause, TCP connect, CONNECT and CONNACK; repeats by itself after failed attempts.
Phase ConnectPhase(RelayRun& run);
// SUBSCRIBE to the status and data topics and wait for SUBACK; resets the host sequence.
Phase SubscribePhase(RelayRun& run);
// Relay passes until the connection breaks or the run must end.
Phase RelayPhase(RelayRun& run);

}  // namespace norvex
