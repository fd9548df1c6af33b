#include "shell/norvexd_options.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "shell/panel_options.h"

namespace norvex {
namespace {

NorvexdOptions Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "norvexd");
    return ParseNorvexdOptions(static_cast<int>(args.size()), args.data());
}

using Action = NorvexdOptions::Action;

TEST(NorvexdOptions, AcceptedCommandLines) {
    struct Case {
        std::vector<const char*> args;
        void (*check)(const NorvexdOptions&);
    };
    const Case cases[] = {
        {{},
         [](const NorvexdOptions& o) {
             EXPECT_EQ(o.action, Action::kRun);
             EXPECT_TRUE(o.virtualPort.empty());
             EXPECT_EQ(o.virtualPortAccess.mode, 0600u);
             EXPECT_EQ(o.statsIntervalS, 0);
             EXPECT_FALSE(o.trace);
             EXPECT_TRUE(o.metricsFile.empty());
         }},
        {{"--virtual-port", "/run/user/1000/norvex/ttyNorvex0", "--virtual-port-group", "dialout",
          "--virtual-port-mode", "0660"},
         [](const NorvexdOptions& o) {
             EXPECT_EQ(o.virtualPort, "/run/user/1000/norvex/ttyNorvex0");
             EXPECT_EQ(o.virtualPortAccess.group, "dialout");
             EXPECT_EQ(o.virtualPortAccess.mode, 0660u);
             EXPECT_EQ(NetPortName(o, "ttyUSB0"), "pty:/run/user/1000/norvex/ttyNorvex0");
         }},
        {{"--virtual-port=/tmp/v", "--virtual-port-mode=640", "--virtual-port-group=20"},
         [](const NorvexdOptions& o) {
             EXPECT_EQ(o.virtualPort, "/tmp/v");
             EXPECT_EQ(o.virtualPortAccess.mode, 0640u);
             EXPECT_EQ(o.virtualPortAccess.group, "20");
         }},
        {{"--stats-interval", "10", "--trace"},
         [](const NorvexdOptions& o) {
             EXPECT_EQ(o.statsIntervalS, 10);
             EXPECT_TRUE(o.trace);
             EXPECT_TRUE(o.traceFile.empty());
             EXPECT_EQ(NetPortName(o, "ttyUSB0"), "ttyUSB0");
         }},
        {{"--trace-file", "/var/log/norvex.trace", "--metrics-file=/var/lib/nx/norvex.prom",
          "--config", "a.cfg"},
         [](const NorvexdOptions& o) {
             EXPECT_TRUE(o.trace) << "a trace file turns the trace on";
             EXPECT_EQ(o.traceFile, "/var/log/norvex.trace");
             EXPECT_EQ(o.metricsFile, "/var/lib/nx/norvex.prom");
             EXPECT_EQ(o.configPath, "a.cfg");
         }},
        {{"--stats-interval=86400", "--virtual-port-mode", "0"},
         [](const NorvexdOptions& o) {
             EXPECT_EQ(o.statsIntervalS, 86400);
             EXPECT_EQ(o.virtualPortAccess.mode, 0u);
         }},
        {{"--help"}, [](const NorvexdOptions& o) { EXPECT_EQ(o.action, Action::kHelp); }},
        {{"--list-ports"},
         [](const NorvexdOptions& o) { EXPECT_EQ(o.action, Action::kListPorts); }},
    };
    for (const Case& c : cases) {
        NorvexdOptions o = Parse(c.args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_NE(o.action, Action::kBadUsage) << o.error;
        c.check(o);
    }
}

TEST(NorvexdOptions, RefusedCommandLinesSayWhy) {
    struct Case {
        std::vector<const char*> args;
        const char* errorHas;
    };
    const Case cases[] = {
        {{"--virtual-port"}, "--virtual-port needs a value"},
        {{"--virtual-port", "--trace"}, "--virtual-port needs a value"},
        {{"--virtual-port="}, "--virtual-port needs a value"},
        {{"--virtual-port-mode", "0888"}, "octal"},
        {{"--virtual-port-mode", "rw-rw----"}, "octal"},
        {{"--virtual-port-mode", "01777"}, "at most 0777"},
        {{"--virtual-port-mode=-1"}, "octal"},
        {{"--stats-interval", "0"}, "1 to 86400"},
        {{"--stats-interval", "-5"}, "1 to 86400"},
        {{"--stats-interval", "5s"}, "1 to 86400"},
        {{"--stats-interval", "86401"}, "1 to 86400"},
        {{"--stats-interval", "99999999999999999999"}, "1 to 86400"},
        {{"--trace-file"}, "--trace-file needs a value"},
        {{"--metrics-file"}, "--metrics-file needs a value"},
        {{"--config"}, "--config needs a value"},
        {{"--tracefile", "x"}, "unknown option --tracefile"},
        {{"--trace=yes"}, "unknown option --trace=yes"},
    };
    for (const Case& c : cases) {
        NorvexdOptions o = Parse(c.args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(o.action, Action::kBadUsage);
        EXPECT_NE(o.error.find(c.errorHas), std::string::npos) << o.error;
    }
}

// The profile sets three timings; each given on its own wins over it whatever the order, and
// the command line wins over the environment.  Anything else is refused by name.
TEST(NorvexdOptions, ProfileTimingsAndTheirOverrides) {
    using Env = std::map<std::string, std::string>;
    struct Case {
        std::vector<const char*> args;
        Env env;
        RelayTuning want;
        const char* errorHas;  // nullptr: accepted
    };
    const RelayTuning none{};
    const Case cases[] = {
        {{}, {}, none, nullptr},
        {{"--profile", "request-response"}, {}, {100, 2, 1000}, nullptr},
        {{"--gather-idle=5", "--profile=request-response"}, {}, {100, 5, 1000}, nullptr},
        {{"--profile", "request-response", "--drop-stale", "3600000"},
         {},
         {100, 2, 3600000},
         nullptr},
        {{"--reorder-wait", "180000"}, {}, {180000, 0, 0}, nullptr},
        {{},
         {{"NORVEX_PROFILE", "request-response"}, {"NORVEX_GATHER_IDLE_MS", "7"}},
         {100, 7, 1000},
         nullptr},
        {{"--gather-idle", "3"},
         {{"NORVEX_GATHER_IDLE_MS", "7"}, {"NORVEX_DROP_STALE_MS", "9"}},
         {0, 3, 9},
         nullptr},
        {{"--profile", "request-response"},
         {{"NORVEX_REORDER_WAIT_MS", "50"}},
         {100, 2, 1000},
         nullptr},
        {{"--profile", "modbus"}, {}, none, "--profile knows one profile, request-response"},
        {{"--reorder-wait", "0"}, {}, none, "--reorder-wait needs milliseconds from 1 to 180000"},
        {{"--gather-idle", "1001"}, {}, none, "--gather-idle needs milliseconds from 1 to 1000"},
        {{"--drop-stale", "1s"}, {}, none, "--drop-stale needs milliseconds from 1 to 3600000"},
        {{"--drop-stale"}, {}, none, "--drop-stale needs a value"},
        {{}, {{"NORVEX_DROP_STALE_MS", "-1"}}, none, "NORVEX_DROP_STALE_MS needs milliseconds"},
        {{}, {{"NORVEX_PROFILE", "fast"}}, none, "NORVEX_PROFILE knows one profile"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " " + ::testing::PrintToString(c.env));
        EnvLookup env = [&c](const char* name) {
            auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        };
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), "norvexd");
        NorvexdOptions o = ParseNorvexdOptions(static_cast<int>(args.size()), args.data(), env);
        if (c.errorHas) {
            EXPECT_EQ(o.action, Action::kBadUsage);
            EXPECT_NE(o.error.find(c.errorHas), std::string::npos) << o.error;
            continue;
        }
        ASSERT_EQ(o.action, Action::kRun) << o.error;
        EXPECT_EQ(o.tuning.reorderWaitMs, c.want.reorderWaitMs);
        EXPECT_EQ(o.tuning.gatherIdleMs, c.want.gatherIdleMs);
        EXPECT_EQ(o.tuning.dropStaleMs, c.want.dropStaleMs);
        // the panel reads the same variables, and only them
        if (!c.args.empty()) continue;
        PanelOptions p = ParsePanelOptions({"--config", "x.cfg"}, env);
        ASSERT_TRUE(p.error.empty()) << p.error;
        EXPECT_EQ(p.tuning.reorderWaitMs, c.want.reorderWaitMs);
        EXPECT_EQ(p.tuning.gatherIdleMs, c.want.gatherIdleMs);
        EXPECT_EQ(p.tuning.dropStaleMs, c.want.dropStaleMs);
    }
}

TEST(NorvexdOptions, UsageNamesEveryOption) {
    for (const char* name :
         {"--virtual-port ", "--virtual-port-group", "--virtual-port-mode", "--stats-interval",
          "--trace ", "--trace-file", "--metrics-file", "--config", "--list-ports", "--profile",
          "--reorder-wait", "--gather-idle", "--drop-stale", "NORVEX_PROFILE"}) {
        EXPECT_NE(std::string(kNorvexdUsage).find(name), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace norvex
