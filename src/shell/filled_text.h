#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvex {

// A text made from a template by putting values in place of its "%s" marks.
struct FilledText {
    std::string_view pattern;         // the template it was made from
    std::vector<std::string> values;  // what stands for each mark, in order
};

// The first of `patterns` that `text` was filled from, with its values; nullopt when none fits.
// A front end that translates templates (keyed by the original text) translates a filled text
// by its template and puts the values back.  A value that itself contains the literal text
// after its mark is cut at the first occurrence: the words are still all shown.
std::optional<FilledText> MatchFilledText(std::string_view text,
                                          std::span<const std::string_view> patterns);

// The template with each "%s" replaced by the next of values (marks without a value stay).
std::string FillText(std::string_view pattern, const std::vector<std::string>& values);

}  // namespace norvex
