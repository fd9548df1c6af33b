#pragma once
#include <string>
#include <vector>

#include "rig.h"

namespace norvex::soak {

struct SoakOptions {
    RigOptions rig;
    int cycles = 100;
    double maxSeconds = 1800;
    std::vector<std::string> faults{"kill"};  // applied in turn, one per cycle
    int gapMs = 2000;                         // steady traffic between two faults
    int downMs = 300;                         // kill: how long the broker stays dead
    int refuseMs = 5000;                      // refuse: how long its port refuses connections
    int stopMs = 21000;  // stop, stop-connect: longer than the 20000 ms answer limit
    int floodRelays = 1000;
    int floodMs = 10000;
    int reopenMs = 500;          // reopen: how long the application's end stays closed
    int recoverLimitMs = 60000;  // longer than this without traffic both ways is a stall
    std::string reportPath;      // the tables are also written here
};

extern const char* const kFaultKinds[];

// Runs the soak; the process exit status: 0 when nothing was lost outside an outage, nothing
// delivered twice or out of order, no stall, no unexpected end of the service, no growth of
// its descriptors and threads; 1 otherwise; 2 when the rig did not come up.
int RunSoak(const SoakOptions& o);

}  // namespace norvex::soak
