#include "shell/env_lookup.h"

#include <cstdlib>

namespace norvex {

const char* ProcessEnv(const char* name) {
    return std::getenv(name);
}

}  // namespace norvex
