#include "bridge/service_worker.h"

#include <cstdio>
#include <string>

#include "bridge/panel_sink.h"
#include "bridge/panel_texts.h"
#include "bridge/relay_loop.h"
#include "bridge/relay_session.h"
#include "bridge/serial_port.h"
#include "bridge/service_context.h"

namespace norvex {

namespace {

std::string WithName(const char* format, const std::string& name) {
    std::string out = format;
    size_t at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, name);
    return out;
}

void Message(ServiceContext& ctx, const char* format, const std::string& name) {
    if (ctx.dialog) ctx.dialog->ShowMessage(kCaptionError, WithName(format, name));
}

// Whatever ended the run: the panel is handed back so the user can change settings and start
// again.
int EndRun(ServiceContext& ctx) {
    ctx.running.store(0, std::memory_order_release);
    if (ctx.dialog) {
        ctx.dialog->SetStartButton(kTextStopped, true);
        ctx.dialog->EnableChoosers(true);
    }
    return 1;
}

void Relay(ServiceContext& ctx, SerialPort& port) {
    RelaySession& s = *ctx.session;
    RelayRun run{.ctx = ctx,
                 .s = s,
                 .port = port,
                 .ids = BuildRelayIdentity(ctx.groupId, ctx.groupSerial, ctx.productId)};
    RunRelayLoop(run);
    ctx.running.store(0, std::memory_order_release);
    s.workerSocket.Close();
    port.Close();
    InboundQueue_Clear(s.inboundQueue);
    mqtt::ReleaseChain(&s.sharedOutChain);
    if (run.portFailed) Message(ctx, kTextPortFailed, ctx.netPortName);
}

}  // namespace

int ServiceWorkerMain(ServiceContext& ctx) {
    if (ctx.session == nullptr) return EndRun(ctx);
    InboundQueue_Clear(ctx.session->inboundQueue);
    if (!IsUsableGroupId(ctx.groupId)) {
        Message(ctx, kTextBadGroupId, ctx.groupId);
        return EndRun(ctx);
    }
    SerialPort port;
    if (!port.Open(ctx.netPortName)) {
        Message(ctx, kTextPortOpenFailed, ctx.netPortName);
        return EndRun(ctx);
    }
    if (ctx.dialog) ctx.dialog->SetStartButton(kTextRunning, true);
    Relay(ctx, port);
    return EndRun(ctx);
}

ServiceWorker::~ServiceWorker() {
    RequestStop();
    Join();
}

bool ServiceWorker::Start(ServiceContext& ctx) {
    if (Running() || ctx.session == nullptr) return false;
    Join();
    ctx_ = &ctx;
    ctx.running.store(1, std::memory_order_release);
    active_.store(true, std::memory_order_release);
    thread_ = std::thread([this, &ctx] {
        ServiceWorkerMain(ctx);
        active_.store(false, std::memory_order_release);
    });
    return true;
}

void ServiceWorker::RequestStop() {
    if (ctx_ && Running()) ctx_->running.store(0, std::memory_order_release);
}

void ServiceWorker::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace norvex
