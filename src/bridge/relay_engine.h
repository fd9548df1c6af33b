#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "bridge/device_table.h"
#include "bridge/engine_config.h"
#include "bridge/engine_counters.h"
#include "bridge/engine_events.h"
#include "bridge/tick_clock.h"

namespace norvex {

struct EngineRun;

// The relay engine: carries bytes between the network-side port and the device group on its
// own thread.  One engine lives as long as its owner (the MQTT session, its receive buffer and
// the packet-id counter continue across runs); each Start() begins a run with a new config.
//
//     RelayEngine engine(events);
//     engine.Start(config);      // opens the port, connects, subscribes, relays
//     ...
//     engine.RequestStop();      // from any thread; the run ends within milliseconds
//     engine.Join();
//
// A run also ends by itself (port failure, malformed packet...); its last event is kStopped.
class RelayEngine {
public:
    explicit RelayEngine(EngineEvents& events, const TickClock& clock = SystemTickClock());
    ~RelayEngine();  // stops and joins a run still active
    RelayEngine(const RelayEngine&) = delete;
    RelayEngine& operator=(const RelayEngine&) = delete;

    // Begins a run; false when one is still active.  A run that has ended is joined first.
    // Caller's thread only (the one that calls Join).
    bool Start(const EngineConfig& config);
    // Asks the active run to end; returns at once.  Any thread, any time.
    void RequestStop();
    // Waits until the run's thread has ended; harmless when none runs.
    void Join();
    // True from Start() until the run has delivered its kStopped event and left its thread.
    bool Active() const { return active_.load(std::memory_order_acquire); }

    // The relay table of the current (or last) run: rows in config order.  Rows are only
    // replaced by Start(), so the Start() caller's thread may read them at any time.
    size_t RelayCount() const { return relays_.size(); }
    // The device number of row's relay (fixed for a run); the Start() caller's thread.
    int32_t RelayDevid(size_t row) const { return relays_[row].devid; }
    // When row's relay was last heard (TickClock ms), or kNeverHeard.  Lock-free; any thread.
    uint32_t LastHeardTick(size_t row) const;

    const EngineCounters& Counters() const { return counters_; }
    // The packet identifier of the latest host PUBLISH (0 before the first).  Any thread.
    uint16_t LastPacketId() const;
    // Continues the identifiers after `id` (a restored counter, tests); only while no run is
    // active.
    void SetLastPacketId(uint16_t id);
    // Sets the byte monitor; only while no run is active.  Unset, it costs nothing.
    void SetTraceHook(TraceHook hook);

private:
    void ThreadMain();

    EngineCounters counters_;
    std::unique_ptr<EngineRun> run_;  // session, socket, wake-up, and the state of a run
    DeviceTable relays_;              // replaced only by Start(), while no run is active
    std::atomic<bool> active_{false};
    std::jthread thread_;
};

}  // namespace norvex
