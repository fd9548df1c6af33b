#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/tick_clock.h"
#include "group_link.h"
#include "line_port.h"
#include "relay_config.h"
#include "relay_core.h"
#include "relay_stats.h"

namespace norvex::relay {

// One relay: the serial line, the group link and what goes between them, in one poll loop on
// the calling thread.  Signals come in through a signalfd.
class RelayLoop {
public:
    RelayLoop(RelayConfig cfg, std::string configPath, const TickClock& clock);
    // Runs until SIGTERM or SIGINT; 0, or 1 when the MQTT client could not be set up.
    int Run(int signalFd);
    const RelayCounters& Counters();

private:
    void OpenLineWhenDue(uint32_t now);
    void RetryLineIn(uint32_t now, uint32_t waitMs);
    // ms until the next "pingack"; 0 when it is due
    uint32_t PingLeft(uint32_t now) const;
    // a failed line is closed and looked for again soon
    void LineLost(uint32_t now);
    void ServeLine(short revents, uint32_t now);
    void ReadLine(uint32_t now);
    void SendPacket(const std::vector<uint8_t>& bytes);
    void OnHost(const uint8_t* payload, size_t len);
    void OnSubscribed();
    void Reload();
    // false: stop
    bool OnSignal(int signalFd);
    int Timeout(uint32_t now) const;

    RelayConfig cfg_;
    const std::string configPath_;
    const TickClock& clock_;
    LinePort line_;
    GroupLink link_;
    HostSequence hostSequence_;
    PacketCounter numbers_;
    SerialGather gather_;
    RelayCounters counters_;
    uint64_t hostBytesWithoutLine_ = 0;  // host bytes that came while the line was closed
    bool skipNext_ = false;              // test hook: the next packet number goes unpublished
    bool lineWasOpen_ = false;
    std::string lastLineError_;
    uint32_t lineRetrySince_ = 0;  // the line is opened again lineRetryWaitMs_ after this
    uint32_t lineRetryWaitMs_ = 0;
    uint32_t lineBackoffMs_ = 0;
    uint32_t lastPingMs_ = 0;  // the next "pingack" is due pingIntervalS after this
};

}  // namespace norvex::relay
