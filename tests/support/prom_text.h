#pragma once
#include <map>
#include <string>
#include <vector>

namespace norvex::test {

// A sample as the format defines it: name{labels} value.  The parser rejects what a collector
// would reject: bad names, bad escapes, samples of an undeclared or twice-declared family,
// duplicate series, values that are not numbers, timestamps (the textfile collector has none).
struct Exposition {
    std::map<std::string, std::string> types;  // family -> counter / gauge
    std::map<std::string, double> samples;     // name{k="v",...} with unescaped values -> value
    std::vector<std::string> errors;
};

// Reads the Prometheus text exposition format as a collector would; what it rejects lands in
// errors.  Sample keys carry their labels unescaped, in the order written.
Exposition ParseExposition(const std::string& text);

}  // namespace norvex::test
