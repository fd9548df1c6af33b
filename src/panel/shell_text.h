#pragma once
#include <QString>
#include <string>

namespace norvex {

// The translation context of the texts that the Qt-free layers choose (shell_texts.h, the
// group dialogs' messages, the close rule, the tray's texts): keyed by their Chinese originals.
inline constexpr char kShellTextContext[] = "ShellTexts";

// A text chosen outside the panel, in the window's language.  A text filled from a template
// ("%s" marks) is translated by its template, its values put back; a text without a
// translation is shown exactly as it came.
QString ShellText(const std::string& text);

}  // namespace norvex
