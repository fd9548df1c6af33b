#include "groupservice/url_encode.h"

#include "common/utf8.h"

namespace norvex {

namespace {

void AppendEscape(std::string& out, unsigned char b, const char* digits) {
    out.push_back('%');
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0x0F]);
}

}  // namespace

std::string UrlEncodeUtf8(std::string_view utf8) {
    if (!IsValidUtf8(BeforeNul(utf8))) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        auto b = static_cast<unsigned char>(c);
        if (b == 0) break;
        if (b < 0x80) {
            out.push_back(c);
        } else {
            AppendEscape(out, b, "0123456789abcdef");
        }
    }
    return out;
}

std::string EscapeQueryValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        auto b = static_cast<unsigned char>(c);
        bool reserved = b < 0x20 || b == 0x7F || c == ' ' || c == '&' || c == '=' || c == '#' ||
                        c == '+' || c == '%' || c == '?';
        if (reserved) {
            AppendEscape(out, b, "0123456789ABCDEF");
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace norvex
