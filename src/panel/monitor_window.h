#pragma once
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "bridge/engine_counters.h"
#include "shell/line_buffer.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace norvex {

class MessageBoxes;

// What the relay engine hands to the monitor window.  The engine's trace hook stays installed
// for the panel's life; while no monitor shows (closed or paused) it returns at once, and while
// one shows it formats the record and pushes the line, never waiting: a full buffer drops it.
struct MonitorFeed {
    explicit MonitorFeed(size_t capacity) : lines(capacity) {}

    LineBuffer lines;
    std::atomic<bool> listening{false};
};

// The engine's trace hook onto feed; the engine thread only.
TraceHook MonitorHook(std::shared_ptr<MonitorFeed> feed);

// The byte monitor: the trace lines live, a bounded history, Pause, Clear and Save, and how
// many lines the window could not take in time.
class MonitorWindow : public QWidget {
    Q_OBJECT

public:
    MonitorWindow(std::shared_ptr<MonitorFeed> feed, MessageBoxes& boxes, QWidget* parent);

    // Moves the waiting lines into the view (the drain timer calls it); nothing while paused.
    void Drain();

    QPlainTextEdit* Lines() const { return text_; }
    QPushButton* PauseButton() const { return pause_; }
    QPushButton* ClearButton() const { return clear_; }
    QLabel* DroppedLabel() const { return dropped_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Listen(bool on);
    void OnPause();
    void OnClear();
    void OnSave();
    void ShowDropped();

    std::shared_ptr<MonitorFeed> feed_;
    MessageBoxes& boxes_;
    QTimer drain_;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* save_ = nullptr;
    QLabel* dropped_ = nullptr;
    uint64_t droppedBefore_ = 0;  // the feed's count at the last Clear
    bool paused_ = false;
};

}  // namespace norvex
