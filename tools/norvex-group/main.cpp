// norvex-group: the panel's "add an existing group" and "new group" for scripts and headless
// machines.  It logs in (or creates the group first), then appends the group to the
// configuration file and makes it current, as the panel would on closing.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "common/errno_util.h"
#include "common/unicode_text.h"
#include "groupservice/endpoints.h"
#include "groupservice/group_login.h"
#include "groupservice/new_group.h"
#include "password_input.h"
#include "shell/config_file.h"
#include "shell/config_location.h"
#include "shell/site_env.h"

namespace {

const char kUsage[] =
    "usage: norvex-group create --name NAME [password source] [options]\n"
    "       norvex-group add --id ID [password source] [options]\n"
    "password source (never the command line, which every user of the machine can read):\n"
    "         (none)              ask on the terminal, without echo\n"
    "         --password-stdin    the first line of standard input\n"
    "         --password-file F   the first line of file F\n"
    "         (the line ending, LF or CR LF, is not part of the password)\n"
    "options: --config FILE     configuration file (default: ~/.config/norvex/NorvexPanel.cfg)\n"
    "         --net-port PATH   also store the network-side port\n"
    "         --app-port PATH   also store the application-side port\n"
    "The group service is NORVEX_GROUP_SERVICE, the registration API NORVEX_ONENET_API.\n"
    "Prints the group ID on stdout; a new group's as soon as it exists, even if storing fails.\n";

const char kPasswordArgumentRefused[] =
    "norvex-group: --password is refused: a password on the command line can be read by every "
    "user of this machine (ps, /proc/PID/cmdline); nothing was sent.\n"
    "Type it at the prompt, or give it with --password-stdin or --password-file FILE.\n";

struct Options {
    std::string command, config, name, id, netPort, appPort, passwordFile;
    bool passwordStdin = false;
    bool passwordArgument = false;  // --password PW was given: refused
};

bool IsPasswordArgument(const std::string& a) {
    return a == "--password" || a.rfind("--password=", 0) == 0;
}

bool Parse(int argc, char** argv, Options& o) {
    if (argc < 2) return false;
    o.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (IsPasswordArgument(a)) {
            o.passwordArgument = true;
            return false;
        }
        if (a == "--password-stdin") {
            o.passwordStdin = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        std::string v = argv[++i];
        if (a == "--config")
            o.config = v;
        else if (a == "--name")
            o.name = v;
        else if (a == "--id")
            o.id = v;
        else if (a == "--password-file")
            o.passwordFile = v;
        else if (a == "--net-port")
            o.netPort = v;
        else if (a == "--app-port")
            o.appPort = v;
        else
            return false;
    }
    if (o.passwordStdin && !o.passwordFile.empty()) return false;
    if (o.command == "create") return !o.name.empty();
    if (o.command == "add") return !o.id.empty();
    return false;
}

struct Passwords {
    std::string password, confirmation;
};

// From the source the options name; the terminal asks twice for a new group, as the panel's
// dialog does.
std::optional<Passwords> ReadPasswords(const Options& o, std::string* error) {
    std::optional<std::string> pw;
    if (o.passwordStdin) {
        pw = norvex::ReadPasswordLine(0);
        if (!pw) *error = "no password on standard input";
    } else if (!o.passwordFile.empty()) {
        pw = norvex::ReadPasswordFile(o.passwordFile);
        if (!pw) *error = "cannot read a password from " + o.passwordFile;
    } else {
        pw = norvex::ReadPasswordFromTerminal("Group password: ");
        if (!pw)
            *error = "no terminal to ask for the password; use --password-stdin or --password-file";
        if (pw && o.command == "create") {
            std::optional<std::string> again = norvex::ReadPasswordFromTerminal("Again: ");
            if (!again) return std::nullopt;
            return Passwords{*pw, *again};
        }
    }
    if (!pw) return std::nullopt;
    return Passwords{*pw, *pw};
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "norvex-group: %s\n", text.c_str());
    return 1;
}

// A created group exists on the service whether or not it answers now: its ID goes to stdout
// at once and the group is stored, under the name as given when the login cannot confirm it.
norvex::GroupRecord CreatedGroup(const norvex::GroupServiceEndpoints& endpoints,
                                 const std::string& name, const norvex::NewGroupResult& made) {
    std::printf("%s\n", made.groupId.c_str());
    std::fflush(stdout);
    if (!made.note.empty()) std::fprintf(stderr, "norvex-group: %s\n", made.note.c_str());
    norvex::GroupLoginResult login = norvex::GroupLoginOk(
        norvex::HttpClient(endpoints.groupService), made.groupId, made.password);
    if (login.accepted) return {login.id, login.name, login.password};
    std::fprintf(stderr, "norvex-group: %s; the new group is stored all the same\n",
                 login.message.c_str());
    return {made.groupId, norvex::ToLowerText(norvex::TrimWhite(name)), made.password};
}

// The configuration the new group is appended to, read before anything is sent: the tool
// rewrites the whole file, so a file it cannot read completely is left alone.
std::optional<norvex::PanelConfig> ReadConfigToExtend(const std::string& path, std::string* error) {
    using Status = norvex::ConfigFileRead::Status;
    if (path.empty()) {
        *error = "no configuration folder (HOME is not set); use --config FILE";
        return std::nullopt;
    }
    if (!norvex::EnsureConfigDirectory(path)) {
        *error = "cannot create the folder of " + path + " (" + norvex::ErrnoText(errno) + ")";
        return std::nullopt;
    }
    norvex::ConfigFileRead read = norvex::ReadPanelConfigFile(path);
    if (read.status == Status::kOk || read.status == Status::kMissing) return read.config;
    *error = path + ": " + read.problem + "; nothing was sent or changed";
    return std::nullopt;
}

// The new group is current, as the panel makes it on closing.
bool SaveConfig(const std::string& path, const norvex::PanelConfig& config) {
    std::string reason;
    int current = static_cast<int>(config.groups.size()) - 1;
    switch (norvex::SavePanelConfig(path, config, current, &reason)) {
        case norvex::ConfigSaveResult::kOk:
            return true;
        case norvex::ConfigSaveResult::kCannotCreate:
            Fail(std::string(norvex::kConfigSaveFailedText) + " (" + path + ": " + reason +
                 "; it is unchanged)");
            return false;
        case norvex::ConfigSaveResult::kWriteFailed:
            Fail("writing " + path + " failed (" + reason + "); the old file is unchanged");
            return false;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!Parse(argc, argv, o)) {
        std::fputs(o.passwordArgument ? kPasswordArgumentRefused : kUsage, stderr);
        return 2;
    }
    std::string error;
    std::optional<Passwords> given = ReadPasswords(o, &error);
    if (!given) return Fail(error.empty() ? "no password given" : error);
    std::string path = o.config.empty() ? norvex::UserPanelConfigPath(
                                              std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"))
                                        : o.config;
    std::optional<norvex::PanelConfig> config = ReadConfigToExtend(path, &error);
    if (!config) return Fail(error);
    if (o.id.size() > norvex::kMaxConfigValueBytes) {
        return Fail("the group ID is " + std::to_string(o.id.size()) + " bytes long (at most " +
                    std::to_string(norvex::kMaxConfigValueBytes) + "); nothing was sent");
    }
    const norvex::GroupServiceEndpoints endpoints =
        norvex::ReadSiteEnv(norvex::ProcessEnv).endpoints;
    std::optional<norvex::GroupRecord> group;
    if (o.command == "create") {
        norvex::NewGroupResult made =
            norvex::CreateNewGroup(endpoints, o.name, given->password, given->confirmation);
        if (!made.created) return Fail(made.message);
        group = CreatedGroup(endpoints, o.name, made);
    } else {
        norvex::GroupLoginResult login =
            norvex::GroupLoginOk(norvex::HttpClient(endpoints.groupService), o.id, given->password);
        if (!login.accepted) return Fail(login.message);
        group = norvex::GroupRecord{login.id, login.name, login.password};
    }
    if (!o.netPort.empty()) config->netPortName = o.netPort;
    if (!o.appPort.empty()) config->appPortName = o.appPort;
    config->groups.push_back(*group);
    if (!SaveConfig(path, *config)) return 1;
    if (o.command == "add") std::printf("%s\n", group->id.c_str());
    return 0;
}
