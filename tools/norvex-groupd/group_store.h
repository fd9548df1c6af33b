#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace norvex::groupd {

struct GroupRow {
    int64_t serial = 0;
    std::string name;
    std::string created;
    std::string deviceId;  // empty until the group's device is bound
};

struct RelayRow {
    int64_t deviceNumber = 0;
    std::string groupId;
    std::string iccid;
    std::string imei;
};

struct ReportRow {
    int64_t seq = 0;
    int64_t deviceNumber = 0;
    std::string iccid;
    std::string imei;
    std::string received;
};

struct RegisteredDevice {
    std::string deviceId;
    std::string key;
};

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

// The service's data in one SQLite file, so that it survives restarts.  Every method is one
// transaction and may be called from any of the server's threads.  Group passwords are kept
// only as salted hashes (password_hash.h), and freed database content is overwritten, so that
// no clear password lingers in the file or its write-ahead log.
class GroupStore {
public:
    // Opens (and creates) the file; nullptr with *error set when that fails.  A file that an
    // earlier version wrote with clear passwords is converted first (store_upgrade.h).
    static std::unique_ptr<GroupStore> Open(const std::string& path, std::string* error);

    // A reserved group without a device; its serial number.
    std::optional<int64_t> CreateGroup(const std::string& name, const std::string& password);
    // Binds deviceId to the group; false when the serial or password do not match, or the
    // group is already bound to another device, or the device already names another group.
    bool BindDevice(int64_t serial, const std::string& password, const std::string& deviceId);
    // The bound group with this ID and password.
    std::optional<GroupRow> FindGroup(const std::string& groupId, const std::string& password);
    bool GroupExists(const std::string& groupId);
    std::vector<GroupRow> Groups();

    // Adds a relay to a bound group or moves it there; false when the group is unknown.
    bool PutRelay(const std::string& groupId, int64_t deviceNumber, const std::string& iccid,
                  const std::string& imei);
    std::vector<RelayRow> Relays(const std::string& groupId);

    // Updates the identity of a relay that is in a group and keeps its report (the newest
    // 10000 reports are kept); false, with nothing stored, for a relay in no group.
    bool RecordReport(int64_t deviceNumber, const std::string& iccid, const std::string& imei);
    std::vector<ReportRow> Reports();

    // The device registered under sn (the same one again for a repeated sn).
    std::optional<RegisteredDevice> RegisterDevice(const std::string& sn, const std::string& title);

private:
    explicit GroupStore(sqlite3* db) : db_(db) {}
    bool Exec(const char* sql);

    std::mutex mutex_;
    std::unique_ptr<sqlite3, SqliteCloser> db_;
};

}  // namespace norvex::groupd
