#include "common/unicode_text.h"

#include <locale.h>
#include <wctype.h>

#include "common/utf8.h"

namespace norvex {

namespace {

// The character classes of C.UTF-8; null when the system lacks it (then only ASCII is
// classified).
locale_t Utf8Locale() {
    static const locale_t loc = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return loc;
}

bool IsWhite(char32_t cp) {
    if (cp == ' ' || (cp >= 0x09 && cp <= 0x0D)) return true;
    if (cp < 0x80) return false;
    locale_t loc = Utf8Locale();
    return loc && ::iswspace_l(static_cast<wint_t>(cp), loc);
}

char32_t Lower(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    locale_t loc = Utf8Locale();
    return loc ? static_cast<char32_t>(::towlower_l(static_cast<wint_t>(cp), loc)) : cp;
}

// Length of the white-space character at the start of text, 0 when none starts there.
size_t WhiteAt(std::string_view text) {
    char32_t cp;
    int n = DecodeUtf8Char(text, &cp);
    return n > 0 && IsWhite(cp) ? static_cast<size_t>(n) : 0;
}

}  // namespace

std::string TrimWhite(std::string_view utf8) {
    while (size_t n = WhiteAt(utf8)) utf8.remove_prefix(n);
    // forward, so that the end is found on a character boundary
    size_t end = 0;
    for (size_t i = 0; i < utf8.size();) {
        size_t n = WhiteAt(utf8.substr(i));
        if (n == 0) {
            char32_t cp;
            int len = DecodeUtf8Char(utf8.substr(i), &cp);
            i += static_cast<size_t>(len < 0 ? -len : len);
            end = i;
        } else {
            i += n;
        }
    }
    return std::string(utf8.substr(0, end));
}

std::string ToLowerText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        char32_t cp;
        int n = DecodeUtf8Char(utf8, &cp);
        if (n > 0) {
            AppendUtf8(out, Lower(cp));
        } else {
            n = -n;
            out.append(utf8.substr(0, static_cast<size_t>(n)));
        }
        utf8.remove_prefix(static_cast<size_t>(n));
    }
    return out;
}

}  // namespace norvex
