#include "panel/monitor_window.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include "panel/ui_ports.h"
#include "shell/trace_line.h"

namespace norvex {
namespace {

constexpr int kDrainMs = 100;
constexpr int kHistoryLines = 5000;

}  // namespace

TraceHook MonitorHook(std::shared_ptr<MonitorFeed> feed) {
    return [feed = std::move(feed)](const TraceRecord& record) {
        if (feed->listening.load(std::memory_order_relaxed))
            feed->lines.Push(FormatTraceLine(record));
    };
}

MonitorWindow::MonitorWindow(std::shared_ptr<MonitorFeed> feed, MessageBoxes& boxes,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), feed_(std::move(feed)), boxes_(boxes) {
    setWindowTitle(tr("NorvexPanel 数据监视"));
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setMaximumBlockCount(kHistoryLines);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFont(QStringLiteral("monospace")));
    pause_ = new QPushButton(tr("暂停"), this);
    pause_->setCheckable(true);
    clear_ = new QPushButton(tr("清除"), this);
    save_ = new QPushButton(tr("保存…"), this);
    dropped_ = new QLabel(this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pause_);
    buttons->addWidget(clear_);
    buttons->addWidget(save_);
    buttons->addStretch();
    buttons->addWidget(dropped_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    resize(800, 400);

    connect(pause_, &QPushButton::clicked, this, &MonitorWindow::OnPause);
    connect(clear_, &QPushButton::clicked, this, &MonitorWindow::OnClear);
    connect(save_, &QPushButton::clicked, this, &MonitorWindow::OnSave);
    drain_.setInterval(kDrainMs);
    connect(&drain_, &QTimer::timeout, this, &MonitorWindow::Drain);
    ShowDropped();
}

void MonitorWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Listen(!paused_);
}

void MonitorWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Listen(false);
}

// Not listening, the engine skips its records; lines already waiting are shown on resuming.
void MonitorWindow::Listen(bool on) {
    feed_->listening.store(on, std::memory_order_relaxed);
    if (on) {
        drain_.start();
    } else {
        drain_.stop();
    }
}

// At most the buffer's capacity per call, appended as one block of text.
void MonitorWindow::Drain() {
    if (paused_) return;
    std::vector<std::string> lines;
    if (feed_->lines.PopAll(lines) > 0) {
        QString block;
        for (const std::string& line : lines) {
            if (!block.isEmpty()) block += QLatin1Char('\n');
            block += ToQ(line);
        }
        text_->appendPlainText(block);
    }
    ShowDropped();
}

void MonitorWindow::ShowDropped() {
    dropped_->setText(tr("丢弃：%1").arg(feed_->lines.Dropped() - droppedBefore_));
}

void MonitorWindow::OnPause() {
    paused_ = pause_->isChecked();
    Listen(!paused_ && isVisible());
}

void MonitorWindow::OnClear() {
    text_->clear();
    droppedBefore_ = feed_->lines.Dropped();
    ShowDropped();
}

void MonitorWindow::OnSave() {
    QString path = QFileDialog::getSaveFileName(this, tr("保存"));
    if (path.isEmpty()) return;
    QSaveFile file(path);
    QByteArray bytes = text_->toPlainText().toUtf8();
    if (!bytes.isEmpty()) bytes += '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        boxes_.Inform(this, windowTitle(), tr("无法写入 %1：%2").arg(path, file.errorString()),
                      true);
    }
}

}  // namespace norvex
