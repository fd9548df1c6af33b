#pragma once
#include <string>
#include <vector>

namespace relaysim {

struct SimOptions {
    std::string host = "127.0.0.1";
    int port = 6002;
    std::string group;
    std::vector<int> devids;  // one relay each; default 1..relays
    int relays = 1;
    int pingMs = 10000;      // period of "pingack", 0: never
    bool echo = true;        // answer host data with the same bytes
    int chunk = 64;          // data bytes per answer packet (1-64)
    int reorder = 1;         // answer packets go out in reversed groups of this many
    bool duplicate = false;  // every answer packet is published twice
    bool lowerCase = false;  // hex digits in lower case
    int firstPacket = 1;     // number of each relay's first packet
    int qos = 1;             // QoS of what the relays publish
    int silenceAfterMs = 0;  // stop answering and pinging after this long, 0: never
    int durationMs = 0;      // exit after this long, 0: at SIGINT/SIGTERM only
    std::string infoText = "relay-sim";
    std::string dataIn;   // bytes to send as the first relay's data (a pipe or file)
    std::string hostOut;  // host data bytes received are appended here
    int lateEvery = 0;    // every Nth answer packet, resend one 8 packets old
    int badEvery = 0;     // every Nth answer packet, also send one with bad hex digits
    int statusFlood = 0;  // status messages for device numbers 1..N every floodMs
    int floodMs = 1000;
    int verbose = 0;
};

// Fills opt from argv and the environment (NORVEX_BROKER); on a bad option writes why to err
// and returns false.
bool ParseOptions(int argc, char** argv, SimOptions& opt, std::string& err);

extern const char* const kUsage;

}  // namespace relaysim
