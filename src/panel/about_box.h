#pragma once
#include <QDialog>

namespace norvex {

// "关于 NorvexPanel".
class AboutBox : public QDialog {
public:
    explicit AboutBox(QWidget* parent);
};

inline constexpr char kAboutMenuText[] = "关于 NorvexPanel(&A)...";

}  // namespace norvex
