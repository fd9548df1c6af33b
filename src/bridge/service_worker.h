#pragma once
#include <atomic>
#include <thread>

namespace norvex {

struct ServiceContext;

// The thread that carries bytes between the network-side serial port and the device group.
//
// Use:
//     RelaySession session;                 // once per process
//     SetupRelaySession(session);
//     ServiceContext ctx;                   // fill the fields listed in service_context.h
//     ctx.session = &session;
//     ServiceWorker worker;
//     worker.Start(ctx);                    // sets ctx.running to 1, opens the port, relays
//     ...
//     worker.RequestStop();                 // or ctx.running = 0 from any thread
//     worker.Join();
//
// The run ends by itself when the port cannot be opened or fails, or the broker misbehaves; the
// panel is then handed back ("已停止，点击运行", choosers enabled) and ctx.running is 0.  At most one
// run at a time per worker; ctx must outlive it.
class ServiceWorker {
public:
    ServiceWorker() = default;
    ~ServiceWorker();
    ServiceWorker(const ServiceWorker&) = delete;
    ServiceWorker& operator=(const ServiceWorker&) = delete;

    // Starts a run; false when one is still active or ctx.session is not set.  A finished
    // earlier run is joined first.
    bool Start(ServiceContext& ctx);
    // Asks the run to end; returns at once.  The run ends within about 100 ms in every phase.
    void RequestStop();
    // Waits for the thread to end; harmless when none runs.
    void Join();
    // True from Start until the run has handed the panel back.
    bool Running() const { return active_.load(std::memory_order_acquire); }

private:
    std::thread thread_;
    std::atomic<bool> active_{false};
    ServiceContext* ctx_ = nullptr;
};

// The thread procedure: start of a run, RunRelayLoop, teardown.  Always returns 1.  Exposed for
// owners that run it on a thread of their own.
int ServiceWorkerMain(ServiceContext& ctx);

}  // namespace norvex
