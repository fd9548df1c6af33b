#pragma once
#include <QPointer>

#include "panel/main_window.h"
#include "shell/panel_view.h"

namespace norvex {

// The service control's view of the main window.  Calls come from the UI thread and from the
// engine's thread; each is queued to the UI thread and returns at once, never waiting for it
// (the UI thread joins the engine on a stop, so a blocking hop could deadlock).  Queued
// delivery keeps the calls in the order they were made.  The control's texts are shown in the
// window's language (ShellText).
class QueuedPanelView : public PanelView {
public:
    explicit QueuedPanelView(MainWindow* window) : window_(window) {}

    void SetStartButton(const std::string& text, bool enabled) override;
    void EnableChoosers(bool enabled) override;
    void InvertStartButton() override;
    void ClearRelayRows() override;
    void AddRelayRow(const std::vector<std::string>& cells) override;
    void SetRelayCell(int row, RelayColumn column, const std::string& text) override;
    void ShowMessage(const std::string& caption, const std::string& text) override;
    void ShowNotice(const std::string& title, const std::string& text) override;
    void ShowDiagnostic(const std::string& line) override;
    void SetStatusTimer(bool on) override;
    void SetBusy(bool busy) override;
    void EndProgram() override;

private:
    template <typename F>
    void Post(F&& f);

    QPointer<MainWindow> window_;
};

}  // namespace norvex
