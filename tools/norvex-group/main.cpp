// norvex-group: the panel's "add an existing group" and "new group" for scripts and headless
// machines.  It logs in (or creates the group first), then appends the group to the
// configuration file and makes it current, as the panel would on closing.
#include <cstdio>
#include <cstring>
#include <string>

#include "groupservice/endpoints.h"
#include "groupservice/group_login.h"
#include "groupservice/new_group.h"
#include "shell/config_file.h"
#include "shell/config_location.h"

namespace {

const char kUsage[] =
    "usage: norvex-group create --name NAME --password PW [options]\n"
    "       norvex-group add --id ID --password PW [options]\n"
    "options: --config FILE     configuration file (default: ~/.config/norvex/NorvexPanel.cfg)\n"
    "         --net-port PATH   also store the network-side port\n"
    "         --app-port PATH   also store the application-side port\n"
    "The group service is NORVEX_GROUP_SERVICE, the registration API NORVEX_ONENET_API.\n"
    "Prints the group ID on stdout.\n";

struct Options {
    std::string command, config, name, id, password, netPort, appPort;
    bool havePassword = false;
};

bool Parse(int argc, char** argv, Options& o) {
    if (argc < 2) return false;
    o.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return false;
        std::string v = argv[++i];
        if (a == "--config") o.config = v;
        else if (a == "--name") o.name = v;
        else if (a == "--id") o.id = v;
        else if (a == "--password") o.password = v, o.havePassword = true;
        else if (a == "--net-port") o.netPort = v;
        else if (a == "--app-port") o.appPort = v;
        else return false;
    }
    if (o.command == "create") return !o.name.empty() && o.havePassword;
    if (o.command == "add") return !o.id.empty() && o.havePassword;
    return false;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "norvex-group: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!Parse(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    norvex::GroupServiceEndpoints endpoints = norvex::GroupServiceEndpoints::FromEnvironment();
    std::string id = o.id, password = o.password;
    if (o.command == "create") {
        norvex::NewGroupResult made = norvex::CreateNewGroup(endpoints, o.name, o.password, o.password);
        if (!made.created) return Fail(made.message);
        id = made.groupId;
        password = made.password;
    }
    norvex::HttpClient client(endpoints.groupService);
    norvex::GroupLoginResult login = norvex::GroupLoginOk(client, id, password);
    if (!login.accepted) return Fail(login.message);

    std::string path = o.config.empty() ? norvex::UserPanelConfigPath() : o.config;
    if (!norvex::EnsureConfigDirectory(path)) return Fail("cannot create the folder of " + path);
    norvex::PanelConfig config = norvex::LoadPanelConfig(path);
    if (!o.netPort.empty()) config.netPortName = o.netPort;
    if (!o.appPort.empty()) config.appPortName = o.appPort;
    config.groups.push_back({login.id, login.name, login.password});
    int current = static_cast<int>(config.groups.size()) - 1;
    switch (norvex::SavePanelConfig(path, config, current)) {
        case norvex::ConfigSaveResult::kOk:
            break;
        case norvex::ConfigSaveResult::kCannotCreate:
            return Fail(std::string(norvex::kConfigSaveFailedText) + " (" + path + ")");
        case norvex::ConfigSaveResult::kWriteFailed:
            return Fail("writing " + path + " failed; the old file is unchanged");
    }
    std::printf("%s\n", login.id.c_str());
    return 0;
}
