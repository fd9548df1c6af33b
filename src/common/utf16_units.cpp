#include "common/utf16_units.h"

#include "common/utf8.h"

namespace norvex {

namespace {

// Bytes and UTF-16 units of the piece at the start of text (a character or an ill-formed piece).
size_t PieceUnits(std::string_view text, size_t* bytes) {
    char32_t cp;
    int n = DecodeUtf8Char(text, &cp);
    *bytes = static_cast<size_t>(n < 0 ? -n : n);
    return cp > 0xFFFF ? 2 : 1;
}

}  // namespace

size_t Utf16Units(std::string_view utf8) {
    size_t units = 0;
    while (!utf8.empty()) {
        size_t bytes = 0;
        units += PieceUnits(utf8, &bytes);
        utf8.remove_prefix(bytes);
    }
    return units;
}

std::string CutToUtf16Units(std::string_view utf8, size_t maxUnits) {
    size_t units = 0;
    size_t end = 0;
    while (end < utf8.size()) {
        size_t bytes = 0;
        size_t pieceUnits = PieceUnits(utf8.substr(end), &bytes);
        if (units + pieceUnits > maxUnits) break;
        units += pieceUnits;
        end += bytes;
    }
    return std::string(utf8.substr(0, end));
}

}  // namespace norvex
