#pragma once
#include <sys/types.h>

#include <set>

namespace norvex::bench {

// Thread ids of this process.
std::set<pid_t> ProcessThreads();
// Nanoseconds thread tid has run on a CPU (scheduler statistics); -1 when unknown.
long long ThreadCpuNs(pid_t tid);

}  // namespace norvex::bench
