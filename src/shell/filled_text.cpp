#include "shell/filled_text.h"

namespace norvex {
namespace {

constexpr std::string_view kMark = "%s";

std::vector<std::string_view> Pieces(std::string_view pattern) {
    std::vector<std::string_view> pieces;
    for (size_t at = pattern.find(kMark); at != std::string_view::npos; at = pattern.find(kMark)) {
        pieces.push_back(pattern.substr(0, at));
        pattern.remove_prefix(at + kMark.size());
    }
    pieces.push_back(pattern);
    return pieces;
}

std::optional<std::vector<std::string>> Match(std::string_view text,
                                              const std::vector<std::string_view>& pieces) {
    if (pieces.size() < 2 || !text.starts_with(pieces.front()) || !text.ends_with(pieces.back()) ||
        text.size() < pieces.front().size() + pieces.back().size()) {
        return std::nullopt;
    }
    text.remove_prefix(pieces.front().size());
    text.remove_suffix(pieces.back().size());
    std::vector<std::string> values;
    for (size_t i = 1; i + 1 < pieces.size(); ++i) {
        size_t at = text.find(pieces[i]);
        if (at == std::string_view::npos) return std::nullopt;
        values.emplace_back(text.substr(0, at));
        text.remove_prefix(at + pieces[i].size());
    }
    values.emplace_back(text);
    return values;
}

}  // namespace

std::optional<FilledText> MatchFilledText(std::string_view text,
                                          std::span<const std::string_view> patterns) {
    for (std::string_view pattern : patterns) {
        if (auto values = Match(text, Pieces(pattern))) return FilledText{pattern, *values};
    }
    return std::nullopt;
}

std::string FillText(std::string_view pattern, const std::vector<std::string>& values) {
    std::string out;
    size_t next = 0;
    for (size_t at = pattern.find(kMark); at != std::string_view::npos && next < values.size();
         at = pattern.find(kMark)) {
        out.append(pattern.substr(0, at)).append(values[next++]);
        pattern.remove_prefix(at + kMark.size());
    }
    return out.append(pattern);
}

}  // namespace norvex
