#include "groupservice/curl_handles.h"

#include <algorithm>
#include <mutex>
#include <string>

namespace norvex::curlx {

namespace {

std::string LowerName(std::string_view name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    std::string out(name);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return out;
}

void GlobalInitOnce() {
    // curl_global_init is not thread-safe; report threads may make the first request.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

Easy NewEasy() {
    GlobalInitOnce();
    return Easy(curl_easy_init());
}

Multi NewMulti() {
    GlobalInitOnce();
    return Multi(curl_multi_init());
}

void HeaderList::Reserve(std::string_view name) {
    names_.push_back(LowerName(name));
}

bool HeaderList::AddIfNew(std::string_view line) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    // a line break inside a line would smuggle in a header of its own
    if (line.find_first_of("\r\n") != std::string_view::npos) return false;
    std::string name = LowerName(line.substr(0, colon));
    if (name.empty() || name.find_first_of(" \t\r\n") != std::string::npos) return false;
    if (std::find(names_.begin(), names_.end(), name) != names_.end()) return false;
    curl_slist* grown = curl_slist_append(list_, std::string(line).c_str());
    if (!grown) return false;
    list_ = grown;
    names_.push_back(std::move(name));
    return true;
}

void HeaderList::AddBlockIfNew(std::string_view block) {
    while (!block.empty()) {
        size_t end = block.find("\r\n");
        std::string_view line = block.substr(0, end);
        if (!line.empty()) AddIfNew(line);
        if (end == std::string_view::npos) break;
        block.remove_prefix(end + 2);
    }
}

}  // namespace norvex::curlx
