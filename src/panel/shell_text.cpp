#include "panel/shell_text.h"

#include <QCoreApplication>
#include <array>

#include "groupservice/dialog_messages.h"
#include "shell/filled_text.h"
#include "shell/shell_texts.h"

namespace norvex {
namespace {

const std::string& BindUnconfirmedPattern() {
    static const std::string pattern =
        std::string(msg::kBindUnconfirmedHead) + "%s" + msg::kBindUnconfirmedTail;
    return pattern;
}

QString Translate(const std::string& source) {
    return QCoreApplication::translate(kShellTextContext, source.c_str());
}

}  // namespace

QString ShellText(const std::string& text) {
    const QString original = QString::fromStdString(text);
    const QString exact = Translate(text);
    if (exact != original) return exact;
    const std::array<std::string_view, 5> patterns = {kTextGroupRejected, kTextPortOpenFailed,
                                                      kTextPortFailed, kTextBadGroupId,
                                                      BindUnconfirmedPattern()};
    std::optional<FilledText> filled = MatchFilledText(text, patterns);
    if (!filled) return original;
    const std::string pattern(filled->pattern);
    const QString translated = Translate(pattern);
    if (translated == QString::fromStdString(pattern)) return original;
    return QString::fromStdString(FillText(translated.toStdString(), filled->values));
}

}  // namespace norvex
