#pragma once
#include <string>
#include <vector>

#include "rig.h"

namespace norvex::soak {

struct ScaleOptions {
    RigOptions rig;
    std::vector<int> services{1, 10, 50};
    double warmupSeconds = 10;
    double seconds = 30;
    std::string reportPath;
};

// For each count: that many services on one broker, each with its own port pair and relay and
// steady traffic both ways; measures them over a window after a warm-up.  Exit status 0 when
// every lane carried its traffic without loss, 1 otherwise, 2 when a rig did not come up.
int RunScale(const ScaleOptions& o);

}  // namespace norvex::soak
