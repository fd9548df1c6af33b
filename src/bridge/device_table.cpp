#include "bridge/device_table.h"

namespace norvex {

namespace {

// A report heard at tick 0xFFFFFFFF must not read as "never heard".
uint32_t HeardTick(uint32_t now) {
    return now == kNeverHeard ? kNeverHeard - 1 : now;
}

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

int NotePing(DeviceTable& table, int32_t devid, uint32_t now) {
    int first = -1;
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].devid != devid) continue;
        table[i].lastHeardTick.store(HeardTick(now), std::memory_order_relaxed);
        if (first < 0) first = static_cast<int>(i);
    }
    return first;
}

BaseInfoResult NoteBaseInfo(DeviceTable& table, const BaseInfo& info, uint32_t now) {
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
        return {static_cast<int>(i), changed};
    }
    return {};
}

}  // namespace norvex
