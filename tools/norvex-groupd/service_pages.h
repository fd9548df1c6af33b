#pragma once
#include <httplib.h>

#include <string>

#include "group_store.h"

namespace norvex::groupd {

// The five group pages under "/norvex/" and the device registration "POST /register_de",
// answered from the store.  Every malformed request gets "err" (or, for the registration, a
// non-zero errno); nothing a client sends can stop the server.
void InstallPages(httplib::Server& server, GroupStore& store, const std::string& registerCode);

}  // namespace norvex::groupd
