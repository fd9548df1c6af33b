#pragma once
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "shell/panel_view.h"

namespace norvex {

// The headless service's panel: every message box, notice, Start-button text and relay-list
// change, and every diagnostic, becomes one line on a stream (stderr), so that a terminal or the
// journal shows what a window would.  Cells that the status timer rewrites with the same text print
// nothing. Callable from any thread.
class StderrPanel final : public PanelView {
public:
    explicit StderrPanel(std::FILE* out = stderr) : out_(out) {}

    void SetStartButton(const std::string& text, bool enabled) override;
    void EnableChoosers(bool enabled) override;
    void InvertStartButton() override {}

    void ClearRelayRows() override;
    void AddRelayRow(const std::vector<std::string>& cells) override;
    void SetRelayCell(int row, RelayColumn column, const std::string& text) override;

    void ShowMessage(const std::string& caption, const std::string& text) override;
    void ShowNotice(const std::string& title, const std::string& text) override;
    void ShowDiagnostic(const std::string& line) override;
    void SetStatusTimer(bool on) override { timerOn_.store(on, std::memory_order_relaxed); }
    void SetBusy(bool) override {}
    // norvexd ends with its run in any case, and the message line has said why.
    void EndProgram() override {}
    bool StatusTimerOn() const { return timerOn_.load(std::memory_order_relaxed); }

    // The relay list as it stands (for the status rule and tests).
    std::vector<std::vector<std::string>> Rows();
    std::string StartButtonText();

private:
    void Line(const std::string& text);  // with mutex_ held

    std::FILE* out_;
    std::atomic<bool> timerOn_{false};
    std::mutex mutex_;
    std::string buttonText_;
    std::vector<std::vector<std::string>> rows_;
};

// The text on one line: CR LF and lone line breaks become a single space.
std::string OneLine(const std::string& text);

}  // namespace norvex
