#include "common/utf8.h"

namespace norvex {

int DecodeUtf8Char(std::string_view text, char32_t* cp) {
    if (text.empty()) return 0;
    auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    int need = 0;
    char32_t value = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        value = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        value = b0 & 0x0Fu;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        value = b0 & 0x07u;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        *cp = kReplacementChar;
        return -1;
    }
    for (int k = 1; k <= need; ++k) {
        if (static_cast<size_t>(k) >= text.size()) {
            *cp = kReplacementChar;
            return -k;
        }
        auto b = static_cast<unsigned char>(text[static_cast<size_t>(k)]);
        if (b < lo || b > hi) {
            *cp = kReplacementChar;
            return -k;
        }
        lo = 0x80;
        hi = 0xBF;
        value = (value << 6) | (b & 0x3Fu);
    }
    *cp = value;
    return need + 1;
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

bool IsValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        char32_t cp;
        int n = DecodeUtf8Char(bytes, &cp);
        if (n < 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string ToValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t cp;
        int n = DecodeUtf8Char(bytes, &cp);
        if (n > 0) {
            out.append(bytes.substr(0, static_cast<size_t>(n)));
        } else {
            AppendUtf8(out, kReplacementChar);
            n = -n;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return out;
}

std::string_view BeforeNul(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

}  // namespace norvex
