#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "shell/panel_view.h"

namespace norvex::test {

// A view that records every call as one line of text ("button|<text>|1", "notice|<title>|<text>",
// "cell|<row>|<column>|<text>", ...).  Safe to call from the engine while a test reads it.
class RecordingView final : public PanelView {
public:
    void SetStartButton(const std::string& text, bool enabled) override {
        Add("button|" + text + "|" + (enabled ? "1" : "0"));
    }
    void EnableChoosers(bool enabled) override {
        Add(std::string("choosers|") + (enabled ? "1" : "0"));
    }
    void InvertStartButton() override { Add("invert"); }
    void ClearRelayRows() override { Add("clear-rows"); }
    void AddRelayRow(const std::vector<std::string>& cells) override {
        std::string line = "row";
        for (auto& c : cells) line += "|" + c;
        Add(line);
    }
    void SetRelayCell(int row, RelayColumn column, const std::string& text) override {
        Add("cell|" + std::to_string(row) + "|" + std::to_string(static_cast<int>(column)) + "|" +
            text);
    }
    void ShowMessage(const std::string& caption, const std::string& text) override {
        Add("message|" + caption + "|" + text);
    }
    void ShowNotice(const std::string& title, const std::string& text) override {
        Add("notice|" + title + "|" + text);
    }
    void ShowDiagnostic(const std::string& line) override { Add("diagnostic|" + line); }
    void SetStatusTimer(bool on) override { Add(std::string("timer|") + (on ? "1" : "0")); }
    void SetBusy(bool busy) override { Add(std::string("busy|") + (busy ? "1" : "0")); }
    void EndProgram() override { Add("end-program"); }

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
    std::string Last() const {
        std::lock_guard<std::mutex> lock(mu_);
        return calls_.empty() ? std::string() : calls_.back();
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
