#pragma once
#include <QPushButton>

namespace norvex {

// The Start/Stop button: it can carry a notice (red, with the notice's text) until its text is
// next set, and flash inverted once when a connection is made.
class StartButton : public QPushButton {
public:
    explicit StartButton(QWidget* parent) : QPushButton(parent) {}

    // Text and state from the service control; clears a notice.
    void Show(const QString& text, bool enabled);
    void ShowNotice(const QString& text);
    void FlashInverted();

    const QString& NoticeText() const { return notice_; }
    bool Inverted() const { return inverted_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString notice_;
    bool inverted_ = false;
};

}  // namespace norvex
