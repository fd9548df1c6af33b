#include "shell/trace_line.h"

#include <time.h>

#include <cinttypes>
#include <cstdio>

namespace norvex {

namespace {

void AppendTime(std::string& out, int64_t unixUs) {
    // floor division, so that a time before 1970 still reads right
    int64_t secs = unixUs / 1000000;
    int64_t us = unixUs % 1000000;
    if (us < 0) {
        us += 1000000;
        --secs;
    }
    time_t t = static_cast<time_t>(secs);
    tm utc{};
    char buf[64];
    if (::gmtime_r(&t, &utc) == nullptr) utc = tm{};
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%06" PRId64 "Z",
                  utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  utc.tm_sec, us);
    out += buf;
}

void AppendBytes(std::string& out, const uint8_t* data, size_t length) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < length; ++i) {
        if (i > 0) out += ' ';
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 0x0F];
    }
    out += " |";
    for (size_t i = 0; i < length; ++i) {
        out += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.';
    }
    out += '|';
}

}  // namespace

std::string FormatTraceLine(const TraceRecord& r) {
    std::string out;
    out.reserve(64 + r.length * 4);
    AppendTime(out, r.unixUs);
    char buf[96];
    if (r.direction == TraceDirection::kToGroup) {
        std::snprintf(buf, sizeof buf, " to-group   seq %u len %zu: ", unsigned{r.sequence},
                      r.length);
    } else if (r.devid >= 0) {
        std::snprintf(buf, sizeof buf,
                      " from-group key %08" PRIX32 " dev %" PRId32 " seq %u len %zu: ", r.senderKey,
                      r.devid, unsigned{r.sequence}, r.length);
    } else {
        std::snprintf(buf, sizeof buf,
                      " from-group key %08" PRIX32 " dev ? seq %u len %zu: ", r.senderKey,
                      unsigned{r.sequence}, r.length);
    }
    out += buf;
    AppendBytes(out, r.data, r.data ? r.length : 0);
    return out;
}

}  // namespace norvex
