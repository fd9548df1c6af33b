#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "bridge/engine_events.h"

namespace norvex::test {

// Records the engine's events as lines: "state|connected", "logged-in|5", "fault|login|-1",
// "stopped|port-failed", "heard|0|3|base", "report|3|8986|8600".  Safe while the engine runs.
class RecordingEvents final : public EngineEvents {
public:
    void OnState(const EngineStatus& s) override;
    void OnRelayHeard(const RelayHeard& h) override {
        Add("heard|" + std::to_string(h.row) + "|" + std::to_string(h.devid) + "|" +
            (h.baseInfo ? "base|" + h.iccid + "|" + h.imei : std::string("ping")));
    }
    void OnRelayInfoChanged(const RelayRecord& r) override {
        Add("report|" + std::to_string(r.devid) + "|" + r.iccid + "|" + r.imei);
    }

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mu_);
        return lines_;
    }
    size_t Count(const std::string& prefix) const {
        std::lock_guard<std::mutex> lock(mu_);
        size_t n = 0;
        for (auto& l : lines_) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    std::string Last() const {
        std::lock_guard<std::mutex> lock(mu_);
        return lines_.empty() ? std::string() : lines_.back();
    }

private:
    void Add(std::string line) {
        std::lock_guard<std::mutex> lock(mu_);
        lines_.push_back(std::move(line));
    }
    mutable std::mutex mu_;
    std::vector<std::string> lines_;
};

}  // namespace norvex::test
