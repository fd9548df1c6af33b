#include "bench_stats.h"

#include <algorithm>
#include <cstdio>

namespace norvex::bench {

double Percentile(std::vector<double> us, double p) {
    if (us.empty()) return 0;
    std::sort(us.begin(), us.end());
    size_t i = static_cast<size_t>(p * static_cast<double>(us.size() - 1) + 0.5);
    return us[std::min(i, us.size() - 1)];
}

std::string Percentiles(std::vector<double> us) {
    if (us.empty()) return "n/a";
    char buf[96];
    std::snprintf(buf, sizeof buf, "p50 %8.1f us  p99 %8.1f us  (n=%zu)", Percentile(us, 0.5),
                  Percentile(us, 0.99), us.size());
    return buf;
}

}  // namespace norvex::bench
