#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bridge/relay_status.h"

namespace norvex {

class PanelSink;

inline constexpr uint32_t kNeverHeard = 0xFFFFFFFFu;

// Relay-list columns of the panel.
inline constexpr int kRelayColumnDevid = 0;
inline constexpr int kRelayColumnStatus = 1;
inline constexpr int kRelayColumnIccid = 2;
inline constexpr int kRelayColumnImei = 3;

// One relay of the current group.  The start action fills the table before the worker starts;
// during a run the worker writes the records and the panel's status timer reads lastHeardTick
// from its own thread, which is why that one field is atomic.  Texts are UTF-8, at most 31
// UTF-16 units.
struct RelayDevice {
    int32_t devid = 0;
    std::string infoText;
    int32_t infoValue1 = 0;
    int32_t infoValue2 = 0;
    std::string iccid;
    std::string imei;
    std::atomic<uint32_t> lastHeardTick{kNeverHeard};  // ms; kNeverHeard until a report comes

    RelayDevice() = default;
    RelayDevice(const RelayDevice& other) { *this = other; }
    RelayDevice& operator=(const RelayDevice& other);
};

using DeviceTable = std::vector<RelayDevice>;

// What the group web service is told about a relay whose information changed: copies, so the
// report may run on a thread of its own while later reports rewrite the record.
struct DeviceReport {
    int32_t devid = 0;
    std::string iccid;
    std::string imei;
};
using DeviceReporter = std::function<void(const DeviceReport&)>;

// A "pingack": every record with this device number was heard now.
void NotePing(DeviceTable& table, int32_t devid, uint32_t now);

// A "baseinfo": updates the first record with this device number and its relay-list row
// ("online", iccid, imei); when anything changed, hands a report to `reporter` (if set).
// Returns the record's index, or -1 when the relay is not in the table.  panel may be null.
int NoteBaseInfo(DeviceTable& table, const BaseInfo& info, uint32_t now, PanelSink* panel,
                 const DeviceReporter& reporter);

}  // namespace norvex
