// The metrics file: read back with a parser of the Prometheus text format, as a collector would.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shell/atomic_file.h"
#include "shell/metrics_text.h"

namespace norvex {
namespace {

// A sample as the format defines it: name{labels} value.  The parser rejects what a collector
// would reject: bad names, bad escapes, samples of an undeclared or twice-declared family,
// duplicate series, values that are not numbers, timestamps (the textfile collector has none).
struct Exposition {
    std::map<std::string, std::string> types;  // family -> counter / gauge
    std::map<std::string, double> samples;     // name{k="v",...} with unescaped values -> value
    std::vector<std::string> errors;
};

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

Exposition Parse(const std::string& text) {
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

TEST(Metrics, ParseAsTheTextFormatWithTheNamesMonitoringExpects) {
    MetricsInput in;
    in.nowUnixMs = 1000000;
    in.counters.serialBytesToGroup = 1234;
    in.counters.serialBytesFromGroup = 567;
    in.counters.packetsToGroup = 20;
    in.counters.packetsFromGroup = 9;
    in.counters.duplicatesDropped = 1;
    in.counters.lateDropped = 2;
    in.counters.bytesNoListener = 300;
    in.counters.reconnects = 4;
    in.counters.lastConnectUnixMs = 1000000 - 2500;
    in.counters.connected = true;
    in.groupId = "5\"2\\1\nx";  // whatever a group ID holds, the label stays one line
    in.relays = {{1, true, true, 0.25}, {2, true, false, 3600.5}, {3, false, false, 0}};
    Exposition x = Parse(FormatMetrics(in));
    ASSERT_TRUE(x.errors.empty()) << ::testing::PrintToString(x.errors);

    for (const auto& [family, type] : x.types) {
        EXPECT_EQ(family.rfind("norvex_", 0), 0u) << family;
        EXPECT_EQ(type == "counter",
                  family.size() > 6 && family.substr(family.size() - 6) == "_total")
            << family;
    }
    const std::string g = "group=\"5\"2\\1\nx\"";
    struct Want {
        std::string key;
        double value;
    };
    const Want wants[] = {
        {"norvex_serial_to_group_bytes_total", 1234},
        {"norvex_serial_from_group_bytes_total", 567},
        {"norvex_packets_to_group_total", 20},
        {"norvex_packets_from_group_total", 9},
        {"norvex_duplicates_dropped_total", 1},
        {"norvex_late_dropped_total", 2},
        {"norvex_no_listener_dropped_bytes_total", 300},
        {"norvex_reconnects_total", 4},
        {"norvex_connected", 1},
        {"norvex_last_connect_age_seconds", 2.5},
        {"norvex_relays_heard{" + g + "}", 2},
        {"norvex_relays_online{" + g + "}", 1},
        {"norvex_relay_last_heard_seconds{" + g + ",devid=\"1\"}", 0.25},
        {"norvex_relay_last_heard_seconds{" + g + ",devid=\"2\"}", 3600.5},
    };
    for (const Want& w : wants) {
        ASSERT_TRUE(x.samples.count(w.key)) << w.key;
        EXPECT_DOUBLE_EQ(x.samples[w.key], w.value) << w.key;
    }
    EXPECT_EQ(x.samples.size(), std::size(wants)) << "relay 3 was never heard: no series";
}

TEST(Metrics, BeforeAnyConnectOrRelay) {
    MetricsInput in;
    in.groupId = "123";
    Exposition x = Parse(FormatMetrics(in));
    ASSERT_TRUE(x.errors.empty()) << ::testing::PrintToString(x.errors);
    EXPECT_EQ(x.samples["norvex_connected"], 0);
    EXPECT_EQ(x.samples.count("norvex_last_connect_age_seconds"), 0u);
    EXPECT_EQ(x.samples["norvex_relays_heard{group=\"123\"}"], 0);
    EXPECT_EQ(x.types.count("norvex_relay_last_heard_seconds"), 0u) << "no family without samples";
}

// ---- the atomic rewrite ----------------------------------------------------------------------

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(AtomicFile, ReaderSeesTheOldFileOrTheNewNeverAPart) {
    char tmpl[] = "/tmp/norvex-metrics-XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    const std::string dir = tmpl;
    const std::string path = dir + "/norvex.prom";
    const std::string a(50000, 'a');
    const std::string b(70000, 'b');
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(path, a, &error)) << error;

    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done.load()) {
            std::string s = ReadFile(path);
            if (s != a && s != b) ++torn;
        }
    });
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(ReplaceFileAtomically(path, i % 2 ? a : b, &error));
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "a collector running as another user reads it";
    // no temporary files stay behind
    EXPECT_EQ(std::system(("test $(ls -A '" + dir + "' | wc -l) -eq 1").c_str()), 0);
    std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(AtomicFile, FailureNamesThePathAndLeavesNothing) {
    const std::string path = "/tmp/norvex-no-such-dir-for-metrics/norvex.prom";
    std::string error;
    EXPECT_FALSE(ReplaceFileAtomically(path, "x", &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

}  // namespace
}  // namespace norvex
