#include "panel/panel_translation.h"

#include <QCoreApplication>
#include <QDir>

namespace norvex {

std::unique_ptr<QTranslator> InstallPanelTranslation(PanelLanguage language) {
    if (language != PanelLanguage::kEnglish) return nullptr;
    const QString installed =
        QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("../share/norvex-panel/translations"));
    for (const QString& dir : {installed, QStringLiteral(NORVEX_BUILD_TRANSLATIONS_DIR)}) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QStringLiteral("norvex-panel_en"), dir) &&
            QCoreApplication::installTranslator(translator.get())) {
            return translator;
        }
    }
    return nullptr;
}

}  // namespace norvex
