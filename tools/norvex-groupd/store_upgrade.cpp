#include "store_upgrade.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "password_hash.h"
#include "sqlite_statement.h"

namespace norvex::groupd {

namespace {

// user_version of a converted file whose free space may still hold clear passwords.
constexpr int kAwaitingRebuild = 1;
constexpr int kRebuilt = 2;

bool HasClearPasswordColumn(sqlite3* db) {
    Stmt s(db, "SELECT 1 FROM pragma_table_info('groups') WHERE name = 'password'");
    return s.Step() == SQLITE_ROW;
}

bool Exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

int UserVersion(sqlite3* db) {
    Stmt s(db, "PRAGMA user_version");
    return s.Step() == SQLITE_ROW ? static_cast<int>(s.Int(0)) : -1;
}

// Within the open transaction.
bool ReplaceByHashes(sqlite3* db) {
    std::vector<std::pair<int64_t, std::string>> clear;
    {
        Stmt s(db, "SELECT serial, password FROM groups");
        int rc;
        while ((rc = s.Step()) == SQLITE_ROW) clear.emplace_back(s.Int(0), s.Text(1));
        if (rc != SQLITE_DONE) return false;
    }
    if (!Exec(db, "ALTER TABLE groups RENAME COLUMN password TO password_hash")) return false;
    for (const auto& [serial, password] : clear) {
        std::optional<std::string> hash = HashPassword(password);
        if (!hash) return false;
        Stmt s(db, "UPDATE groups SET password_hash = ? WHERE serial = ?");
        if (!s.Bind(*hash).Bind(serial).Run()) return false;
    }
    return true;
}

bool Convert(sqlite3* db, std::string* error) {
    if (!Exec(db, "BEGIN IMMEDIATE")) {
        *error = sqlite3_errmsg(db);
        return false;
    }
    // another process may have converted the file while this one waited for the lock
    bool ok = !HasClearPasswordColumn(db) ||
              (ReplaceByHashes(db) &&
               Exec(db, "PRAGMA user_version=" + std::to_string(kAwaitingRebuild)));
    if (!ok) {
        *error = std::string("converting clear passwords: ") + sqlite3_errmsg(db);
        Exec(db, "ROLLBACK");
        return false;
    }
    if (!Exec(db, "COMMIT")) {
        *error = sqlite3_errmsg(db);
        return false;
    }
    return true;
}

}  // namespace

bool HashClearPasswords(sqlite3* db, std::string* error) {
    if (HasClearPasswordColumn(db) && !Convert(db, error)) return false;
    if (UserVersion(db) != kAwaitingRebuild) return true;
    // Secure deletion zeroes what the conversion freed, but not what earlier versions left in
    // free space (old row images hold clear passwords); a rebuilt file has none.  Tried again
    // on the next opening if it fails here.
    if (!Exec(db, "VACUUM") || !Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)") ||
        !Exec(db, "PRAGMA user_version=" + std::to_string(kRebuilt))) {
        *error = std::string("rebuilding the file: ") + sqlite3_errmsg(db);
        return false;
    }
    return Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
}

}  // namespace norvex::groupd
