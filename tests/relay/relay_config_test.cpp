// norvex-relay's configuration reader against files a site may really have: it never waits on
// what is not a regular file, quotes a bad line briefly, and keeps wildcards out of the topics.
#include "relay_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "support/text_file.h"

namespace norvex::relay {
namespace {

struct ConfigCase {
    const char* what;
    std::function<void(const std::string& path)> make;
    const char* says;  // part of the error; nullptr: read fine
};

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

TEST(RelayConfigFile, RefusesWhatItCannotUseWithItsReasonAndNeverWaits) {
    const std::string good = "group = G1\nport = /dev/ttyUSB0\nbroker = 127.0.0.1\n";
    const ConfigCase cases[] = {
        {"a plain file", [&](const std::string& p) { Write(p, good); }, nullptr},
        {"a FIFO nobody writes", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); },
         "is a FIFO, not a regular file"},
        {"a directory", [](const std::string& p) { std::filesystem::create_directory(p); },
         "Is a directory"},
        {"no file", [](const std::string&) {}, "No such file or directory"},
        {"more than a configuration holds",
         [&](const std::string& p) { Write(p, good + std::string(70000, '#')); }, "64 KiB"},
        {"a wildcard as group ID",
         [](const std::string& p) { Write(p, "group = +\nport = /dev/ttyUSB0\n"); },
         "not letters and digits"},
        {"a field separator in a status text",
         [&](const std::string& p) { Write(p, good + "info_text = pump,house\n"); }, "bad line"},
        {"a group ID holding a topic level",
         [](const std::string& p) { Write(p, "group = G1/x\nport = /dev/ttyUSB0\n"); },
         "not letters and digits"},
    };
    for (const ConfigCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string path = dir.File("relay.conf");
        c.make(path);
        std::string arg0 = "norvex-relay", arg1 = "--config", arg2 = path;
        char* argv[] = {arg0.data(), arg1.data(), arg2.data()};
        Options opt;
        std::string err;
        const bool ok = ParseOptions(3, argv, opt, err);
        if (c.says == nullptr) {
            EXPECT_TRUE(ok) << err;
            EXPECT_EQ(opt.config.brokerPort, 6002);  // a broker without a port: norvexd's default
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(err.find(c.says), std::string::npos) << err;
        }
    }
}

TEST(RelayConfigFile, ABadLineIsNamedAndQuotedOnlyBriefly) {
    test::TempDir dir;
    const std::string path = dir.File("relay.conf");
    Write(path, "group = G1\n\nspeed = " + std::string(20000, '9') + "\n");
    RelayConfig cfg;
    std::string err;
    EXPECT_FALSE(ReadConfigFile(path, cfg, err));
    EXPECT_EQ(err.rfind(path + ":3: bad line \"speed = 999", 0), 0u) << err;
    EXPECT_LT(err.size(), path.size() + 120);
    EXPECT_TRUE(err.ends_with("...\""));
}

}  // namespace
}  // namespace norvex::relay
