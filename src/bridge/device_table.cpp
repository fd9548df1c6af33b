#include "bridge/device_table.h"

#include "bridge/panel_sink.h"

namespace norvex {

namespace {

// A report heard at tick 0xFFFFFFFF must not read as "never heard".
uint32_t HeardTick(uint32_t now) { return now == kNeverHeard ? kNeverHeard - 1 : now; }

}  // namespace

RelayDevice& RelayDevice::operator=(const RelayDevice& other) {
    devid = other.devid;
    infoText = other.infoText;
    infoValue1 = other.infoValue1;
    infoValue2 = other.infoValue2;
    iccid = other.iccid;
    imei = other.imei;
    lastHeardTick.store(other.lastHeardTick.load(std::memory_order_relaxed),
                        std::memory_order_relaxed);
    return *this;
}

void NotePing(DeviceTable& table, int32_t devid, uint32_t now) {
    for (auto& rec : table) {
        if (rec.devid == devid) rec.lastHeardTick.store(HeardTick(now), std::memory_order_relaxed);
    }
}

int NoteBaseInfo(DeviceTable& table, const BaseInfo& info, uint32_t now, PanelSink* panel,
                 const DeviceReporter& reporter) {
    for (size_t i = 0; i < table.size(); ++i) {
        RelayDevice& rec = table[i];
        if (rec.devid != info.devid) continue;
        bool changed = rec.infoValue2 != info.value2 || rec.infoValue1 != info.value1 ||
                       rec.iccid != info.iccid || rec.imei != info.imei ||
                       rec.infoText != info.text;
        rec.infoValue2 = info.value2;
        rec.infoValue1 = info.value1;
        rec.iccid = info.iccid;
        rec.imei = info.imei;
        rec.infoText = info.text;
        rec.lastHeardTick.store(HeardTick(now), std::memory_order_relaxed);
        int row = static_cast<int>(i);
        if (panel) {
            panel->SetRelayCell(row, kRelayColumnStatus, "online");
            panel->SetRelayCell(row, kRelayColumnIccid, rec.iccid);
            panel->SetRelayCell(row, kRelayColumnImei, rec.imei);
        }
        if (changed && reporter) reporter(DeviceReport{rec.devid, rec.iccid, rec.imei});
        return row;
    }
    return -1;
}

}  // namespace norvex
