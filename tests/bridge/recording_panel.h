#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "bridge/panel_sink.h"

namespace norvex::test {

// A panel that records every call as one line of text ("button|<text>|1", "notice|<title>|<text>",
// ...).  Safe to call from the worker while a test reads it.
class RecordingPanel final : public PanelSink {
public:
    void SetStartButton(const std::string& text, bool enabled) override {
        Add("button|" + text + "|" + (enabled ? "1" : "0"));
    }
    void EnableChoosers(bool enabled) override { Add(std::string("choosers|") + (enabled ? "1" : "0")); }
    void InvertStartButton() override { Add("invert"); }
    void ClearRelayRows() override { Add("clear-rows"); }
    void AddRelayRow(const std::vector<std::string>& cells) override {
        std::string line = "row";
        for (auto& c : cells) line += "|" + c;
        Add(line);
    }
    void SetRelayCell(int row, int column, const std::string& text) override {
        Add("cell|" + std::to_string(row) + "|" + std::to_string(column) + "|" + text);
    }
    void ShowMessage(const std::string& caption, const std::string& text) override {
        Add("message|" + caption + "|" + text);
    }
    void ShowNotice(const std::string& title, const std::string& text) override {
        Add("notice|" + title + "|" + text);
    }

    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(mu_);
        return calls_;
    }
    // How many recorded calls begin with `prefix`.
    size_t Count(const std::string& prefix) const {
        std::lock_guard<std::mutex> lock(mu_);
        size_t n = 0;
        for (auto& c : calls_) n += c.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mu_);
        calls_.clear();
    }

private:
    void Add(std::string line) {
        std::lock_guard<std::mutex> lock(mu_);
        calls_.push_back(std::move(line));
    }

    mutable std::mutex mu_;
    std::vector<std::string> calls_;
};

}  // namespace norvex::test
