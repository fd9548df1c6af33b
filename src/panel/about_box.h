#pragma once
#include <QDialog>

namespace norvex {

// "关于 NorvexPanel".
class AboutBox : public QDialog {
    Q_OBJECT

public:
    explicit AboutBox(QWidget* parent);
};

inline constexpr char kAboutMenuText[] = "关于 NorvexPanel(&A)...";
// kAboutMenuText in the window's language (the main window's and the tray's menus).
QString AboutMenuText();

}  // namespace norvex
