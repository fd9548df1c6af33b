#include "panel/queued_panel_view.h"

#include <QMetaObject>

#include "panel/shell_text.h"

namespace norvex {

template <typename F>
void QueuedPanelView::Post(F&& f) {
    QPointer<MainWindow> w = window_;
    QMetaObject::invokeMethod(
        w.data(),
        [w, f = std::forward<F>(f)]() {
            if (w) f(*w);
        },
        Qt::QueuedConnection);
}

void QueuedPanelView::SetStartButton(const std::string& text, bool enabled) {
    Post([t = ShellText(text), enabled](MainWindow& w) { w.SetStartButton(t, enabled); });
}

void QueuedPanelView::EnableChoosers(bool enabled) {
    Post([enabled](MainWindow& w) { w.EnableChoosers(enabled); });
}

void QueuedPanelView::InvertStartButton() {
    Post([](MainWindow& w) { w.InvertStartButton(); });
}

void QueuedPanelView::ClearRelayRows() {
    Post([](MainWindow& w) { w.ClearRelayRows(); });
}

void QueuedPanelView::AddRelayRow(const std::vector<std::string>& cells) {
    QStringList row;
    for (const std::string& c : cells) row << ToQ(c);
    Post([row](MainWindow& w) { w.AddRelayRow(row); });
}

void QueuedPanelView::SetRelayCell(int row, RelayColumn column, const std::string& text) {
    Post([row, c = static_cast<int>(column), t = ToQ(text)](MainWindow& w) {
        w.SetRelayCell(row, c, t);
    });
}

void QueuedPanelView::ShowMessage(const std::string& caption, const std::string& text) {
    Post([c = ShellText(caption), t = ShellText(text)](MainWindow& w) { w.ShowMessage(c, t); });
}

void QueuedPanelView::ShowNotice(const std::string& title, const std::string& text) {
    Post([c = ShellText(title), t = ShellText(text)](MainWindow& w) { w.ShowNotice(c, t); });
}

// The window has no place for the diagnostic lines of a close watcher.
void QueuedPanelView::ShowDiagnostic(const std::string&) {}

void QueuedPanelView::SetStatusTimer(bool on) {
    Post([on](MainWindow& w) { w.SetStatusTimer(on); });
}

void QueuedPanelView::SetBusy(bool busy) {
    Post([busy](MainWindow& w) { w.SetBusy(busy); });
}

void QueuedPanelView::EndProgram() {
    Post([](MainWindow& w) { w.EndProgram(); });
}

}  // namespace norvex
