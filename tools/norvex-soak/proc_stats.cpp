#include "proc_stats.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace norvex::soak {

namespace {

long FieldKb(const std::string& text, const char* name) {
    size_t at = text.find(name);
    if (at == std::string::npos) return 0;
    return std::strtol(text.c_str() + at + std::strlen(name), nullptr, 10);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int CountFds(pid_t pid) {
    std::string path = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = ::opendir(path.c_str());
    if (d == nullptr) return 0;
    int n = 0;
    while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
    return n;
}

// utime and stime, fields 14 and 15 of /proc/PID/stat, counted after the command's ")".
double CpuSeconds(const std::string& stat) {
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i >= 14) ticks += std::strtod(field.c_str(), nullptr);
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace

ProcSample SampleProcess(pid_t pid, bool withMemoryMap) {
    ProcSample s;
    if (pid <= 0) return s;
    std::string base = "/proc/" + std::to_string(pid);
    std::string status = ReadAll(base + "/status");
    if (status.empty()) return s;
    s.rssKb = FieldKb(status, "VmRSS:");
    s.threads = static_cast<int>(FieldKb(status, "Threads:"));
    s.fds = CountFds(pid);
    s.cpuSeconds = CpuSeconds(ReadAll(base + "/stat"));
    if (withMemoryMap) {
        std::string rollup = ReadAll(base + "/smaps_rollup");
        s.pssKb = FieldKb(rollup, "\nPss:");
        s.ussKb = FieldKb(rollup, "\nPrivate_Clean:") + FieldKb(rollup, "\nPrivate_Dirty:");
    }
    s.ok = true;
    return s;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    auto rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

}  // namespace norvex::soak
