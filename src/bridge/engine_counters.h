#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace norvex {

// Traffic counters of the engine.  Written by the engine thread only, read from any thread at
// any time without a lock (relaxed: each counter is exact, a snapshot is not one instant).
// They count from the engine's creation, across runs.
struct CounterSnapshot {
    uint64_t serialBytesToGroup = 0;    // serial data bytes published (no framing, no sequence)
    uint64_t serialBytesFromGroup = 0;  // relay data bytes written to the port
    uint64_t packetsToGroup = 0;        // host PUBLISH packets sent
    uint64_t packetsFromGroup = 0;      // relay data packets received and decoded
    uint64_t pubAcks = 0;               // PUBACKs received for our PUBLISH packets
    uint64_t duplicatesDropped = 0;     // relay packets whose number was already held
    uint64_t lateDropped = 0;           // relay packets older than the next one due
    uint64_t bytesNoListener = 0;       // relay bytes dropped: nobody had the port open, or the
                                        // application left 64 KiB unread
    uint64_t missingGivenUp = 0;        // relay packet numbers never received and skipped
    uint64_t staleBytesDropped = 0;     // serial bytes that waited too long for the broker
    uint64_t reconnects = 0;            // subscriptions after the first of a run
    uint64_t subscriptions = 0;         // completed subscriptions, all runs
    int64_t lastConnectUnixMs = 0;      // wall-clock time of the last completed subscription
    bool connected = false;             // subscribed and relaying now
};

class EngineCounters {
public:
    CounterSnapshot Snapshot() const;

    void AddToGroup(size_t bytes) { Add(serialBytesToGroup_, bytes), Add(packetsToGroup_, 1); }
    void AddFromGroupPacket() { Add(packetsFromGroup_, 1); }
    void AddFromGroupBytes(size_t bytes) { Add(serialBytesFromGroup_, bytes); }
    void AddPubAck() { Add(pubAcks_, 1); }
    void AddDuplicate() { Add(duplicatesDropped_, 1); }
    void AddLate() { Add(lateDropped_, 1); }
    void AddNoListener(size_t bytes) { Add(bytesNoListener_, bytes); }
    void AddGivenUp(uint64_t numbers) { Add(missingGivenUp_, numbers); }
    void AddStale(size_t bytes) { Add(staleBytesDropped_, bytes); }
    void NoteSubscribed(bool reconnect, int64_t unixMs);
    void NoteDisconnected() { connected_.store(false, std::memory_order_relaxed); }

private:
    static void Add(std::atomic<uint64_t>& c, uint64_t n) {
        c.store(c.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
    }
    std::atomic<uint64_t> serialBytesToGroup_{0};
    std::atomic<uint64_t> serialBytesFromGroup_{0};
    std::atomic<uint64_t> packetsToGroup_{0};
    std::atomic<uint64_t> packetsFromGroup_{0};
    std::atomic<uint64_t> pubAcks_{0};
    std::atomic<uint64_t> duplicatesDropped_{0};
    std::atomic<uint64_t> lateDropped_{0};
    std::atomic<uint64_t> bytesNoListener_{0};
    std::atomic<uint64_t> missingGivenUp_{0};
    std::atomic<uint64_t> staleBytesDropped_{0};
    std::atomic<uint64_t> reconnects_{0};
    std::atomic<uint64_t> subscriptions_{0};
    std::atomic<int64_t> lastConnectUnixMs_{0};
    std::atomic<bool> connected_{false};
};

// One chunk of serial data crossing the engine, for a byte monitor.
enum class TraceDirection : uint8_t { kToGroup, kFromGroup };
struct TraceRecord {
    TraceDirection direction = TraceDirection::kToGroup;
    int64_t unixUs = 0;             // wall-clock time, microseconds
    uint32_t senderKey = 0;         // kFromGroup: the relay's key from its data packet
    int32_t devid = -1;             // kFromGroup: the relay's device number when known, else -1
    uint16_t sequence = 0;          // kToGroup: our sequence number; kFromGroup: the packet number
    const uint8_t* data = nullptr;  // valid only during the call
    size_t length = 0;
};
// Called on the engine thread for every chunk; must be quick (copy and return).
using TraceHook = std::function<void(const TraceRecord&)>;

}  // namespace norvex
