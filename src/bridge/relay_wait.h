#pragma once
#include <cstdint>

#include "bridge/relay_run.h"

namespace norvex {

// Waits that end at once when the stop flag is cleared.  None of them spins: they sleep in
// poll() for at most kIdleWakeMs at a time.

bool StillRunning(const RelayRun& run);
uint32_t NowMs(const RelayRun& run);

// Sleeps ms; false when a stop was asked for meanwhile.
bool PauseUnlessStopped(RelayRun& run, uint32_t ms);

enum class AckWait { Seen, Failed, TimedOut, Stopped };

// Receives until *flag is raised by a handler, for at most kAnswerLimitMs.  Failed: a receive
// result other than 0 and mqtt::kErrNoData.
AckWait WaitForAck(RelayRun& run, const int32_t* flag);

// Sends sharedOutChain and releases it whatever the result; false when the send failed.
bool SendSharedChain(RelayRun& run);

}  // namespace norvex
