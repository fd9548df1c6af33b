#include "groupservice/text_utf.h"

#include <locale.h>
#include <wctype.h>

#include <limits>

namespace norvex {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one character at s[i] and advances i.  An invalid or truncated sequence yields
// U+FFFD and skips its maximal valid prefix (at least one byte), so nothing is read past the
// end and decoding always makes progress.
bool NextCodePoint(std::string_view s, size_t& i, char32_t& cp) {
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0Fu;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07u;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        cp = kReplacement;
        ++i;
        return false;
    }
    ++i;
    for (size_t k = 0; k < need; ++k) {
        if (i >= s.size()) {
            cp = kReplacement;
            return false;
        }
        auto b = static_cast<unsigned char>(s[i]);
        if (b < lo || b > hi) {
            cp = kReplacement;
            return false;
        }
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3Fu);
        ++i;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The character classes of C.UTF-8, independent of the process locale; null when the system
// lacks it (then only ASCII is classified).
locale_t Utf8Locale() {
    static const locale_t loc = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return loc;
}

bool IsWhite(char32_t cp) {
    if (cp == ' ' || (cp >= 0x09 && cp <= 0x0D)) return true;
    if (cp < 0x80 || cp == kReplacement) return false;
    locale_t loc = Utf8Locale();
    return loc && ::iswspace_l(static_cast<wint_t>(cp), loc);
}

char32_t Lower(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    locale_t loc = Utf8Locale();
    return loc ? static_cast<char32_t>(::towlower_l(static_cast<wint_t>(cp), loc)) : cp;
}

}  // namespace

size_t Utf16Length(std::string_view utf8) {
    size_t units = 0;
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        NextCodePoint(utf8, i, cp);
        units += cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::string DecodeUtf8Lossy(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp;
        NextCodePoint(bytes, i, cp);
        AppendUtf8(out, cp);
    }
    return out;
}

std::string TrimWhite(std::string_view utf8) {
    size_t begin = 0;
    while (begin < utf8.size()) {
        size_t next = begin;
        char32_t cp;
        if (!NextCodePoint(utf8, next, cp) || !IsWhite(cp)) break;
        begin = next;
    }
    // Scan forward so that the end is found on character boundaries.
    size_t end = begin;
    for (size_t i = begin; i < utf8.size();) {
        char32_t cp;
        bool valid = NextCodePoint(utf8, i, cp);
        if (!valid || !IsWhite(cp)) end = i;
    }
    return std::string(utf8.substr(begin, end - begin));
}

std::string ToLowerText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        size_t start = i;
        char32_t cp;
        if (NextCodePoint(utf8, i, cp)) {
            AppendUtf8(out, Lower(cp));
        } else {
            out.append(utf8.substr(start, i - start));  // invalid bytes stay as they were
        }
    }
    return out;
}

bool TryParseLeadingInt(std::string_view text, int32_t* out) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') {
        *out = 0;
        return false;
    }
    int64_t value = 0;
    bool fits = true;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) {
            value = kLimit;
            fits = false;
        }
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) {
        value = std::numeric_limits<int32_t>::max();
        fits = false;
    }
    *out = static_cast<int32_t>(value);
    return fits;
}

int32_t ParseLeadingInt(std::string_view text) {
    int32_t v = 0;
    TryParseLeadingInt(text, &v);
    return v;
}

std::string TruncateUtf16(std::string_view utf8, size_t maxUnits) {
    size_t units = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        size_t next = i;
        char32_t cp;
        NextCodePoint(utf8, next, cp);
        size_t w = cp >= 0x10000 ? 2 : 1;
        if (units + w > maxUnits) break;
        units += w;
        i = next;
    }
    return std::string(utf8.substr(0, i));
}

}  // namespace norvex
