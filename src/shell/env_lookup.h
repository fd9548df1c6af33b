#pragma once
#include <functional>

namespace norvex {

// How the programs' option readers see the environment: the value of a variable, nullptr when
// it is unset.  Tests hand in their own; the programs hand in ProcessEnv.  Nothing below the
// option readers looks at the environment: the engine and the group service take values.
using EnvLookup = std::function<const char*(const char* name)>;

// This process's environment.
const char* ProcessEnv(const char* name);

}  // namespace norvex
