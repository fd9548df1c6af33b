#include "group_store.h"

#include <ctime>
#include <random>

#include "password_hash.h"
#include "sqlite_statement.h"
#include "store_upgrade.h"

namespace norvex::groupd {

namespace {

// secure_delete: deleted and overwritten content is zeroed, not left in free space.
constexpr const char* kSchema = R"sql(
PRAGMA secure_delete=ON;
PRAGMA journal_mode=WAL;
CREATE TABLE IF NOT EXISTS groups(
  serial INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL, password_hash TEXT NOT NULL, created TEXT NOT NULL,
  device_id TEXT UNIQUE);
CREATE TABLE IF NOT EXISTS relays(
  device_number INTEGER PRIMARY KEY, group_id TEXT NOT NULL, iccid TEXT NOT NULL,
  imei TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS reports(
  seq INTEGER PRIMARY KEY AUTOINCREMENT, device_number INTEGER NOT NULL,
  iccid TEXT NOT NULL, imei TEXT NOT NULL, received TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS devices(
  id INTEGER PRIMARY KEY AUTOINCREMENT, sn TEXT UNIQUE NOT NULL, title TEXT NOT NULL,
  key TEXT NOT NULL);
-- serial numbers and device ids start at readable sizes
INSERT INTO sqlite_sequence(name, seq)
  SELECT 'groups', 100000 WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name='groups');
INSERT INTO sqlite_sequence(name, seq)
  SELECT 'devices', 0 WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name='devices');
)sql";

constexpr int64_t kDeviceIdBase = 1000000000;
// The report log is for looking back, not an archive: the newest ones are kept.
constexpr int64_t kKeptReports = 10000;

std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string NewKey() {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::random_device rd;
    std::string key;
    for (int i = 0; i < 28; ++i) key.push_back(kAlphabet[rd() % 64]);
    return key;
}

// Columns serial, name, created, device id.
GroupRow ReadGroup(Stmt& s) {
    return GroupRow{s.Int(0), s.Text(1), s.Text(2), s.Text(3)};
}

}  // namespace

std::unique_ptr<GroupStore> GroupStore::Open(const std::string& path, std::string* error) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    std::unique_ptr<GroupStore> store(new GroupStore(raw));
    if (rc != SQLITE_OK) {
        *error = raw ? sqlite3_errmsg(raw) : "out of memory";
        return nullptr;
    }
    // the server and the command-line tools may use the file at the same time
    sqlite3_busy_timeout(raw, 5000);
    if (!store->Exec(kSchema)) {
        *error = sqlite3_errmsg(raw);
        return nullptr;
    }
    if (!HashClearPasswords(raw, error)) return nullptr;
    return store;
}

bool GroupStore::Exec(const char* sql) {
    return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The slow hashing runs outside the lock, so that one login does not hold up every page.
std::optional<int64_t> GroupStore::CreateGroup(const std::string& name,
                                               const std::string& password) {
    std::optional<std::string> hash = HashPassword(password);
    if (!hash) return std::nullopt;
    std::lock_guard lock(mutex_);
    Stmt s(db_.get(), "INSERT INTO groups(name, password_hash, created) VALUES(?, ?, ?)");
    if (!s.Bind(name).Bind(*hash).Bind(Now()).Run()) return std::nullopt;
    return sqlite3_last_insert_rowid(db_.get());
}

bool GroupStore::BindDevice(int64_t serial, const std::string& password,
                            const std::string& deviceId) {
    std::string hash;
    {
        std::lock_guard lock(mutex_);
        Stmt s(db_.get(),
               "SELECT password_hash FROM groups WHERE serial = ? AND "
               "(device_id IS NULL OR device_id = ?)");
        if (s.Bind(serial).Bind(deviceId).Step() != SQLITE_ROW) return false;
        hash = s.Text(0);
    }
    if (!PasswordMatches(hash, password)) return false;
    std::lock_guard lock(mutex_);
    // the hash in the condition: a group bound meanwhile stays as it is
    Stmt s(db_.get(),
           "UPDATE groups SET device_id = ? WHERE serial = ? AND password_hash = ? AND "
           "(device_id IS NULL OR device_id = ?)");
    if (!s.Bind(deviceId).Bind(serial).Bind(hash).Bind(deviceId).Run()) return false;
    return sqlite3_changes(db_.get()) == 1;
}

std::optional<GroupRow> GroupStore::FindGroup(const std::string& groupId,
                                              const std::string& password) {
    GroupRow row;
    std::string hash;
    {
        std::lock_guard lock(mutex_);
        Stmt s(db_.get(),
               "SELECT serial, name, created, device_id, password_hash FROM groups "
               "WHERE device_id = ?");
        if (s.Bind(groupId).Step() != SQLITE_ROW) return std::nullopt;
        row = ReadGroup(s);
        hash = s.Text(4);
    }
    if (!PasswordMatches(hash, password)) return std::nullopt;
    return row;
}

bool GroupStore::GroupExists(const std::string& groupId) {
    std::lock_guard lock(mutex_);
    Stmt s(db_.get(), "SELECT 1 FROM groups WHERE device_id = ?");
    return s.Bind(groupId).Step() == SQLITE_ROW;
}

std::vector<GroupRow> GroupStore::Groups() {
    std::lock_guard lock(mutex_);
    Stmt s(db_.get(),
           "SELECT serial, name, created, IFNULL(device_id, '') FROM groups ORDER BY serial");
    std::vector<GroupRow> rows;
    while (s.Step() == SQLITE_ROW) rows.push_back(ReadGroup(s));
    return rows;
}

bool GroupStore::PutRelay(const std::string& groupId, int64_t deviceNumber,
                          const std::string& iccid, const std::string& imei) {
    if (!GroupExists(groupId)) return false;
    std::lock_guard lock(mutex_);
    Stmt s(db_.get(),
           "INSERT INTO relays(device_number, group_id, iccid, imei) VALUES(?, ?, ?, ?) "
           "ON CONFLICT(device_number) DO UPDATE SET group_id = excluded.group_id, "
           "iccid = excluded.iccid, imei = excluded.imei");
    return s.Bind(deviceNumber).Bind(groupId).Bind(iccid).Bind(imei).Run();
}

std::vector<RelayRow> GroupStore::Relays(const std::string& groupId) {
    std::lock_guard lock(mutex_);
    Stmt s(db_.get(),
           "SELECT device_number, group_id, iccid, imei FROM relays WHERE group_id = ? "
           "ORDER BY device_number");
    s.Bind(groupId);
    std::vector<RelayRow> rows;
    while (s.Step() == SQLITE_ROW) rows.push_back({s.Int(0), s.Text(1), s.Text(2), s.Text(3)});
    return rows;
}

bool GroupStore::RecordReport(int64_t deviceNumber, const std::string& iccid,
                              const std::string& imei) {
    std::lock_guard lock(mutex_);
    if (!Exec("BEGIN IMMEDIATE")) return false;
    Stmt update(db_.get(), "UPDATE relays SET iccid = ?, imei = ? WHERE device_number = ?");
    bool known =
        update.Bind(iccid).Bind(imei).Bind(deviceNumber).Run() && sqlite3_changes(db_.get()) == 1;
    Stmt log(db_.get(),
             "INSERT INTO reports(device_number, iccid, imei, received) VALUES(?, ?, ?, ?)");
    Stmt trim(db_.get(), "DELETE FROM reports WHERE seq <= (SELECT MAX(seq) FROM reports) - ?");
    bool kept = known && log.Bind(deviceNumber).Bind(iccid).Bind(imei).Bind(Now()).Run() &&
                trim.Bind(kKeptReports).Run();
    Exec(kept ? "COMMIT" : "ROLLBACK");
    return kept;
}

std::vector<ReportRow> GroupStore::Reports() {
    std::lock_guard lock(mutex_);
    Stmt s(db_.get(), "SELECT seq, device_number, iccid, imei, received FROM reports ORDER BY seq");
    std::vector<ReportRow> rows;
    while (s.Step() == SQLITE_ROW) {
        rows.push_back({s.Int(0), s.Int(1), s.Text(2), s.Text(3), s.Text(4)});
    }
    return rows;
}

std::optional<RegisteredDevice> GroupStore::RegisterDevice(const std::string& sn,
                                                           const std::string& title) {
    std::lock_guard lock(mutex_);
    Stmt insert(db_.get(),
                "INSERT INTO devices(sn, title, key) VALUES(?, ?, ?) ON CONFLICT(sn) DO NOTHING");
    if (!insert.Bind(sn).Bind(title).Bind(NewKey()).Run()) return std::nullopt;
    Stmt s(db_.get(), "SELECT id, key FROM devices WHERE sn = ?");
    s.Bind(sn);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return RegisteredDevice{std::to_string(kDeviceIdBase + s.Int(0)), s.Text(1)};
}

}  // namespace norvex::groupd
