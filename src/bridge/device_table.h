#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/relay_status.h"
#include "common/relay_record.h"

namespace norvex {

inline constexpr uint32_t kNeverHeard = 0xFFFFFFFFu;

// One relay of the current group.  The engine fills the table when a run starts and writes the
// records during the run; other threads read only lastHeardTick then, which is why that one
// field is atomic.  Texts are UTF-8, at most 31 UTF-16 units.
struct RelayDevice {
    int32_t devid = 0;
    std::string infoText;
    int32_t infoValue1 = 0;
    int32_t infoValue2 = 0;
    std::string iccid;
    std::string imei;
    std::atomic<uint32_t> lastHeardTick{kNeverHeard};  // ms; kNeverHeard until a report comes

    RelayDevice() = default;
    explicit RelayDevice(const RelayRecord& r) : devid(r.devid), iccid(r.iccid), imei(r.imei) {}
    RelayDevice(const RelayDevice& other) { *this = other; }
    RelayDevice& operator=(const RelayDevice& other);
};

using DeviceTable = std::vector<RelayDevice>;

// A "pingack": every record with this device number was heard now.  Returns the first such
// record's index, or -1.
int NotePing(DeviceTable& table, int32_t devid, uint32_t now);

struct BaseInfoResult {
    int row = -1;          // the record updated, or -1 when the relay is not in the table
    bool changed = false;  // its information differs from what the record held
};

// A "baseinfo": updates the first record with this device number.
BaseInfoResult NoteBaseInfo(DeviceTable& table, const BaseInfo& info, uint32_t now);

}  // namespace norvex
