#pragma once
#include "bridge/relay_run.h"

namespace norvex {

// The connection and relay loop of one run: connect (after a 1000 ms pause), log in, subscribe,
// relay; after a network failure it starts over, without limit, while the serial port stays
// open.  Returns when the stop flag is cleared, the serial port fails (run.portFailed), the
// broker sends something malformed, or a PUBLISH cannot be built.  Worker thread only.
void RunRelayLoop(RelayRun& run);

}  // namespace norvex
