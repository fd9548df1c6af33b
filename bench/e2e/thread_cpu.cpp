#include "thread_cpu.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace norvex::bench {

std::set<pid_t> ProcessThreads() {
    std::set<pid_t> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task", ec))
        out.insert(static_cast<pid_t>(std::stol(e.path().filename().string())));
    return out;
}

long long ThreadCpuNs(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    long long ns = -1;
    if (!(in >> ns)) return -1;
    return ns;
}

}  // namespace norvex::bench
