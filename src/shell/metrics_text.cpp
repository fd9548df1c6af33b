#include "shell/metrics_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace norvex {

namespace {

void Declare(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void Counter(std::string& out, const char* name, const char* help, uint64_t value) {
    Declare(out, name, "counter", help);
    out += name;
    out += ' ' + std::to_string(value) + '\n';
}

void Gauge(std::string& out, const char* name, const char* help, const std::string& labels,
           const std::string& value) {
    Declare(out, name, "gauge", help);
    out += name + labels + ' ' + value + '\n';
}

std::string Seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", std::max(0.0, s));
    return buf;
}

}  // namespace

std::string EscapeLabelValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char ch : value) {
        if (ch == '\\') {
            out += "\\\\";
        } else if (ch == '"') {
            out += "\\\"";
        } else if (ch == '\n') {
            out += "\\n";
        } else {
            out += ch;
        }
    }
    return out;
}

std::string FormatMetrics(const MetricsInput& in) {
    const CounterSnapshot& c = in.counters;
    std::string out;
    Counter(out, "norvex_serial_to_group_bytes_total",
            "Serial data bytes published to the group (no MQTT framing or sequence numbers).",
            c.serialBytesToGroup);
    Counter(out, "norvex_serial_from_group_bytes_total",
            "Relay data bytes written to the network-side port.", c.serialBytesFromGroup);
    Counter(out, "norvex_packets_to_group_total", "Data packets published to the group.",
            c.packetsToGroup);
    Counter(out, "norvex_packets_from_group_total", "Relay data packets received.",
            c.packetsFromGroup);
    Counter(out, "norvex_duplicates_dropped_total",
            "Relay packets dropped because their number was already held.", c.duplicatesDropped);
    Counter(out, "norvex_late_dropped_total",
            "Relay packets dropped because they came after their turn.", c.lateDropped);
    Counter(out, "norvex_no_listener_dropped_bytes_total",
            "Relay bytes dropped because no program had the port open or read it.",
            c.bytesNoListener);
    // present once counted: the usual timings seldom give them cause, and then the file stays
    // as it was
    if (c.missingGivenUp > 0) {
        Counter(out, "norvex_missing_given_up_total",
                "Relay packet numbers given up: later packets were written without them.",
                c.missingGivenUp);
    }
    if (c.staleBytesDropped > 0) {
        Counter(out, "norvex_stale_dropped_bytes_total",
                "Serial bytes dropped because they waited too long for the broker.",
                c.staleBytesDropped);
    }
    Counter(out, "norvex_reconnects_total", "Subscriptions after the first of a run.",
            c.reconnects);
    Gauge(out, "norvex_connected", "1 while subscribed to the group and relaying, else 0.", "",
          c.connected ? "1" : "0");
    if (c.lastConnectUnixMs > 0) {
        Gauge(out, "norvex_last_connect_age_seconds", "Seconds since the last completed connect.",
              "", Seconds(static_cast<double>(in.nowUnixMs - c.lastConnectUnixMs) / 1000.0));
    }

    const std::string group = "{group=\"" + EscapeLabelValue(in.groupId) + "\"";
    size_t heard = 0;
    size_t online = 0;
    for (const RelayMetric& r : in.relays) {
        heard += r.heard ? 1 : 0;
        online += r.online ? 1 : 0;
    }
    Gauge(out, "norvex_relays_heard", "Relays of the group heard since the start.", group + "}",
          std::to_string(heard));
    Gauge(out, "norvex_relays_online", "Relays of the group heard within the offline limit.",
          group + "}", std::to_string(online));
    bool declared = false;
    for (const RelayMetric& r : in.relays) {
        if (!r.heard) continue;
        if (!declared) {
            Declare(out, "norvex_relay_last_heard_seconds", "gauge",
                    "Seconds since the relay was last heard.");
            declared = true;
        }
        out += "norvex_relay_last_heard_seconds" + group + ",devid=\"" + std::to_string(r.devid) +
               "\"} " + Seconds(r.secondsSinceHeard) + '\n';
    }
    return out;
}

}  // namespace norvex
