// The metrics file: read back with a parser of the Prometheus text format, as a collector would.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
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
#include "support/prom_text.h"
#include "support/text_file.h"

namespace norvex {
namespace {

using test::Exposition;
using test::ParseExposition;

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
    Exposition x = ParseExposition(FormatMetrics(in));
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
    Exposition x = ParseExposition(FormatMetrics(in));
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

// --metrics-file naming a link or a special file: the link's target is written, the rest refused.
TEST(AtomicFile, KeepsALinkAndNeverReplacesWhatIsNotARegularFile) {
    test::TempDir dir;
    const std::string link = dir.File("norvex.prom");
    std::filesystem::create_symlink("real.prom", link);
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(link, "m 1\n", &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(dir.File("real.prom")), "m 1\n");

    const std::string fifo = dir.File("fifo.prom");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.File("dir.prom"));
    for (const std::string& special : {fifo, dir.File("dir.prom")}) {
        EXPECT_FALSE(ReplaceFileAtomically(special, "m 1\n", &error)) << special;
        EXPECT_NE(error.find(special), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::is_regular_file(special)) << special;
    }
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace norvex
