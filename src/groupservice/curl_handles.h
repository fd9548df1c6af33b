#pragma once
#include <curl/curl.h>

#include <memory>
#include <string_view>
#include <vector>

namespace norvex::curlx {

// Owners of libcurl handles, so that every request closes what it opened on every path.
struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

// A new easy handle; libcurl's process-wide set-up runs once, before the first one.
Easy NewEasy();

struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
using Multi = std::unique_ptr<CURLM, MultiDeleter>;

// Drives one easy handle to its end through a multi handle of its own, so that the wait can
// also watch a descriptor of the caller's.
Multi NewMulti();

// A request's header lines; a line is added only if no earlier line has the same name.
class HeaderList {
public:
    HeaderList() = default;
    ~HeaderList() { curl_slist_free_all(list_); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;

    // Treats name as present without sending a line (headers libcurl writes itself).
    void Reserve(std::string_view name);
    // False when the line has no name or its name is already present.
    bool AddIfNew(std::string_view line);
    // Each CR LF separated line of block through AddIfNew.
    void AddBlockIfNew(std::string_view block);
    curl_slist* Get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
    std::vector<std::string> names_;  // lower-case
};

}  // namespace norvex::curlx
