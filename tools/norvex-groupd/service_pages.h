#pragma once
#include <httplib.h>

#include <string>

#include "group_store.h"

namespace norvex::groupd {

// The five group pages under "/norvex/" and the device registration "POST /register_de",
// answered from the store.  Every malformed request gets "err" (or, for the registration, a
// non-zero errno); any other method or path gets 404; nothing a client sends can stop the
// server.
class ServicePages {
public:
    ServicePages(GroupStore& store, std::string registerCode);

    // Fills res (status, headers, body) for req; may be called from several threads at once.
    void Answer(const httplib::Request& req, httplib::Response& res) const;

    // The pages that hash or check a password, slow on purpose.
    static bool NeedsPasswordHash(const httplib::Request& req);

private:
    GroupStore& store_;
    const std::string registerCode_;
};

}  // namespace norvex::groupd
