#pragma once
#include <QTranslator>
#include <memory>

#include "shell/panel_options.h"

namespace norvex {

// The panel's translation for `language`, installed in the application, or nullptr for the
// Chinese (the texts' own language) and when no translation file is found.  It is looked for
// in ../share/norvex-panel/translations beside the executable, then in the build tree.  The
// caller keeps it as long as the windows live.
std::unique_ptr<QTranslator> InstallPanelTranslation(PanelLanguage language);

}  // namespace norvex
