#pragma once
#include <QString>

#include "groupservice/endpoints.h"
#include "panel/ui_ports.h"

namespace norvex {

// The caption of every message box.
inline constexpr char kPanelAppName[] = "NorvexPanel";

// What the group dialogs need from outside.
struct DialogEnv {
    GroupServiceEndpoints endpoints;
    MessageBoxes& boxes;
    QString appName = QString::fromUtf8(kPanelAppName);
};

}  // namespace norvex
