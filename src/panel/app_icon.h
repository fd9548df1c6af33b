#pragma once
#include <QIcon>

namespace norvex {

// The application icon, rendered from its SVG at the sizes desktops ask for.
QIcon AppIcon();

}  // namespace norvex
