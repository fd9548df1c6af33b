#pragma once
#include <string>
#include <vector>

namespace norvex::bench {

// p50 and p99 of samples in microseconds; "n/a" when there are none.
std::string Percentiles(std::vector<double> us);
double Percentile(std::vector<double> us, double p);

}  // namespace norvex::bench
