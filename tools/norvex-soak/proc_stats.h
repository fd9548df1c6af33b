#pragma once
#include <sys/types.h>

#include <vector>

namespace norvex::soak {

// What /proc tells about one process at one moment.
struct ProcSample {
    bool ok = false;
    long rssKb = 0;
    long pssKb = 0;  // from smaps_rollup, only when asked for
    long ussKb = 0;  // private clean + private dirty
    int threads = 0;
    int fds = 0;
    double cpuSeconds = 0;  // user + system
};

ProcSample SampleProcess(pid_t pid, bool withMemoryMap = false);

// Percentile p (0-100) of values by nearest rank; 0 when there are none.
double Percentile(std::vector<double> values, double p);

}  // namespace norvex::soak
