#include "service_pages.h"

#include <cjson/cJSON.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "common/utf8.h"

namespace norvex::groupd {

namespace {

constexpr size_t kMaxTextBytes = 256;
// Relay identities live in 31-character fields on the panel side.
constexpr size_t kMaxRelayText = 31;

void Reply(httplib::Response& res, const std::string& text) {
    res.set_content(text, "text/plain; charset=utf-8");
}

// Exactly one value of a parameter: a repeated parameter is as bad as a missing one.
std::optional<std::string> Param(const httplib::Request& req, const char* name) {
    if (req.get_param_value_count(name) != 1) return std::nullopt;
    return req.get_param_value(name);
}

// Text that can stand in a comma- and bar-separated reply, and that every reader can show.
bool IsFieldText(const std::string& s, size_t maxBytes) {
    if (s.empty() || s.size() > maxBytes || !IsValidUtf8(s)) return false;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F || c == ',' || c == '|') return false;
    }
    return true;
}

std::optional<int64_t> Number(const std::string& s, int64_t min, int64_t max) {
    if (s.empty() || s.size() > 11) return std::nullopt;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return std::nullopt;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        v = v * 10 + (s[i] - '0');
    }
    if (s[0] == '-') v = -v;
    if (v < min || v > max) return std::nullopt;
    return v;
}

// At most maxBytes of text, never cutting a character.
std::string Utf8Prefix(const std::string& text, size_t maxBytes) {
    size_t end = 0;
    char32_t cp = 0;
    while (end < text.size()) {
        int n = DecodeUtf8Char(std::string_view(text).substr(end), &cp);
        if (n <= 0 || end + static_cast<size_t>(n) > maxBytes) break;
        end += static_cast<size_t>(n);
    }
    return text.substr(0, end);
}

// An empty identity still needs a character, or the panel reads the record as incomplete.
std::string Field(const std::string& s) {
    return s.empty() ? " " : s;
}

void GroupInfo(GroupStore& store, const httplib::Request& req, httplib::Response& res) {
    auto devid = Param(req, "devid");
    auto pwd = Param(req, "pwd");
    std::optional<GroupRow> g;
    if (devid && pwd && !devid->empty()) g = store.FindGroup(*devid, *pwd);
    if (!g) return Reply(res, "err");
    Reply(res, std::to_string(g->serial) + "," + g->name + "," + g->created);
}

void Precreate(GroupStore& store, const httplib::Request& req, httplib::Response& res) {
    auto name = Param(req, "name");
    auto pwd = Param(req, "pwd");
    if (!name || !pwd || !IsFieldText(*name, kMaxTextBytes) || pwd->empty() ||
        pwd->size() > kMaxTextBytes) {
        return Reply(res, "err");
    }
    auto serial = store.CreateGroup(*name, *pwd);
    Reply(res, serial ? std::to_string(*serial) : "err");
}

void UpdateOnenetInfo(GroupStore& store, const httplib::Request& req, httplib::Response& res) {
    auto id = Param(req, "id");
    auto pwd = Param(req, "pwd");
    auto devid = Param(req, "devid");
    std::optional<int64_t> serial;
    if (id) serial = Number(*id, 1, INT32_MAX);
    if (!serial || !pwd || !devid || !IsFieldText(*devid, 127)) return Reply(res, "err");
    Reply(res, store.BindDevice(*serial, *pwd, *devid) ? "ok" : "err");
}

void GroupDevices(GroupStore& store, const httplib::Request& req, httplib::Response& res) {
    auto groupid = Param(req, "groupid");
    if (!groupid || groupid->empty() || !store.GroupExists(*groupid)) return Reply(res, "err");
    auto relays = store.Relays(*groupid);
    if (relays.empty()) return Reply(res, "no");
    std::string text;
    for (const auto& r : relays) {
        text += std::to_string(r.deviceNumber) + "," + Field(r.iccid) + "," + Field(r.imei) + "|";
    }
    Reply(res, text);
}

void UpdateDevices(GroupStore& store, const httplib::Request& req, httplib::Response& res) {
    auto devid = Param(req, "devid");
    auto iccid = Param(req, "iccid");
    auto imei = Param(req, "imei");
    std::optional<int64_t> number;
    if (devid) number = Number(*devid, INT32_MIN, INT32_MAX);
    bool ok = number && iccid && imei && (iccid->empty() || IsFieldText(*iccid, kMaxRelayText)) &&
              (imei->empty() || IsFieldText(*imei, kMaxRelayText));
    // no password comes with a report: it may only touch a relay already in a group
    Reply(res, ok && store.RecordReport(*number, *iccid, *imei) ? "ok" : "err");
}

std::string JsonError(int code, const char* text) {
    return "{\"errno\":" + std::to_string(code) + ",\"error\":\"" + text + "\"}";
}

struct JsonDeleter {
    void operator()(cJSON* j) const { cJSON_Delete(j); }
};

void Register(GroupStore& store, const std::string& code, const httplib::Request& req,
              httplib::Response& res) {
    res.set_header("Content-Type", "application/json");
    auto given = Param(req, "register_code");
    if (!given || *given != code) return Reply(res, JsonError(1, "register_code invalid"));
    std::unique_ptr<cJSON, JsonDeleter> body(
        cJSON_ParseWithLength(req.body.data(), req.body.size()));
    const cJSON* sn = cJSON_GetObjectItemCaseSensitive(body.get(), "sn");
    const cJSON* title = cJSON_GetObjectItemCaseSensitive(body.get(), "title");
    if (!cJSON_IsString(sn) || !IsFieldText(sn->valuestring, 64)) {
        return Reply(res, JsonError(2, "sn invalid"));
    }
    std::string titleText = cJSON_IsString(title) ? title->valuestring : "";
    if (!IsValidUtf8(titleText)) return Reply(res, JsonError(3, "register failed"));
    auto dev = store.RegisterDevice(sn->valuestring, Utf8Prefix(titleText, 64));
    if (!dev) return Reply(res, JsonError(3, "register failed"));
    Reply(res, "{\"errno\":0,\"data\":{\"device_id\":\"" + dev->deviceId + "\",\"key\":\"" +
                   dev->key + "\"},\"error\":\"succ\"}");
}

}  // namespace

ServicePages::ServicePages(GroupStore& store, std::string registerCode)
    : store_(store), registerCode_(std::move(registerCode)) {}

bool ServicePages::NeedsPasswordHash(const httplib::Request& req) {
    return req.path == "/norvex/getonenetinfo.asp" || req.path == "/norvex/precreategroup.asp" ||
           req.path == "/norvex/updateonenetinfo.asp";
}

void ServicePages::Answer(const httplib::Request& req, httplib::Response& res) const {
    using Handler = void (*)(GroupStore&, const httplib::Request&, httplib::Response&);
    static const std::pair<std::string_view, Handler> kPages[] = {
        {"/norvex/getonenetinfo.asp", GroupInfo},
        {"/norvex/precreategroup.asp", Precreate},
        {"/norvex/updateonenetinfo.asp", UpdateOnenetInfo},
        {"/norvex/getgroupdevices.asp", GroupDevices},
        {"/norvex/updatedevices.asp", UpdateDevices},
    };
    res.status = 200;
    // whatever fails inside a page, the client gets "err" and the service carries on
    try {
        if (req.method == "POST" && req.path == "/register_de") {
            return Register(store_, registerCode_, req, res);
        }
        if (req.method == "GET") {
            for (const auto& [path, handler] : kPages) {
                if (req.path == path) return handler(store_, req, res);
            }
        }
        res.status = 404;
    } catch (...) {
        res.status = 200;
        Reply(res, "err");
    }
}

}  // namespace norvex::groupd
