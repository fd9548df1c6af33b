#include "support/prom_text.h"

#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <utility>

namespace norvex::test {

namespace {

bool ParseLabels(const std::string& text, size_t& i, std::string& key, std::string& error) {
    // text[i] is just past '{'
    std::vector<std::pair<std::string, std::string>> labels;
    static const std::regex kLabelName("[a-zA-Z_][a-zA-Z0-9_]*");
    while (i < text.size() && text[i] != '}') {
        size_t eq = text.find('=', i);
        if (eq == std::string::npos) return error = "label without =", false;
        std::string name = text.substr(i, eq - i);
        if (!std::regex_match(name, kLabelName)) return error = "bad label name " + name, false;
        i = eq + 1;
        if (i >= text.size() || text[i] != '"') return error = "label value not quoted", false;
        std::string value;
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] != '\\') {
                value += text[i];
                continue;
            }
            if (++i >= text.size()) return error = "escape at end", false;
            char e = text[i];
            if (e == '\\' || e == '"') {
                value += e;
            } else if (e == 'n') {
                value += '\n';
            } else {
                return error = std::string("bad escape \\") + e, false;
            }
        }
        if (i >= text.size()) return error = "unterminated label value", false;
        ++i;
        labels.emplace_back(name, value);
        if (i < text.size() && text[i] == ',') ++i;
    }
    if (i >= text.size()) return error = "unterminated labels", false;
    ++i;
    key += "{";
    for (size_t n = 0; n < labels.size(); ++n) {
        key += (n ? "," : "") + labels[n].first + "=\"" + labels[n].second + "\"";
    }
    key += "}";
    return true;
}

}  // namespace

Exposition ParseExposition(const std::string& text) {
    Exposition x;
    static const std::regex kName("[a-zA-Z_:][a-zA-Z0-9_:]*");
    std::set<std::string> sampled;
    std::istringstream in(text);
    std::string line;
    if (!text.empty() && text.back() != '\n') x.errors.push_back("last line has no newline");
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line.rfind("# TYPE ", 0) == 0) {
            std::istringstream t(line.substr(7));
            std::string name, type;
            t >> name >> type;
            if (x.types.count(name)) x.errors.push_back("TYPE twice: " + name);
            if (sampled.count(name)) x.errors.push_back("TYPE after samples: " + name);
            if (type != "counter" && type != "gauge") x.errors.push_back("type " + type);
            x.types[name] = type;
            continue;
        }
        if (line[0] == '#') continue;
        size_t i = 0;
        while (i < line.size() && line[i] != '{' && line[i] != ' ') ++i;
        std::string name = line.substr(0, i), key = name, error;
        if (!std::regex_match(name, kName)) x.errors.push_back("bad name " + name);
        if (i < line.size() && line[i] == '{' && !ParseLabels(line, ++i, key, error)) {
            x.errors.push_back(error + " in " + line);
            continue;
        }
        std::string rest = line.substr(i);
        std::istringstream v(rest);
        std::string value, extra;
        v >> value >> extra;
        char* end = nullptr;
        double d = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0') x.errors.push_back("bad value in " + line);
        if (!extra.empty()) x.errors.push_back("timestamp or junk in " + line);
        if (!x.types.count(name)) x.errors.push_back("undeclared family " + name);
        if (x.samples.count(key)) x.errors.push_back("duplicate series " + key);
        sampled.insert(name);
        x.samples[key] = d;
    }
    return x;
}

}  // namespace norvex::test
