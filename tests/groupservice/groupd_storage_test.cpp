// norvex-groupd keeps no clear password anywhere in its files, and converts a database of an
// earlier version, which did, without losing a group.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "groupd_fixture.h"
#include "groupservice/group_details.h"
#include "groupservice/group_login.h"
#include "groupservice/new_group.h"

namespace norvex {
namespace {

using test::GroupdTest;

// The database and every companion file SQLite may leave beside it.
std::string FilesWithText(const std::string& db, const std::string& text) {
    std::string found;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::ifstream in(db + suffix, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.find(text) != std::string::npos) found += db + suffix + " ";
    }
    return found;
}

TEST_F(GroupdTest, PasswordsAreKeptOnlyAsHashesYetTheRightOneLogsIn) {
    const std::string password = "ClearPw4711";
    NewGroupResult created = CreateNewGroup(Endpoints(), "vault", password, password);
    ASSERT_TRUE(created.created) << created.message;
    EXPECT_TRUE(GroupLoginOk(Client(), created.groupId, password).accepted);
    EXPECT_FALSE(GroupLoginOk(Client(), created.groupId, "ClearPw4712").accepted);
    EXPECT_FALSE(GroupLoginOk(Client(), created.groupId, "").accepted);
    EXPECT_EQ(LoadGroupDetails(Client(), created.groupId, password).name, "vault");
    EXPECT_TRUE(LoadGroupDetails(Client(), created.groupId, "clearpw4711").closeAtOnce);

    EXPECT_EQ(FilesWithText(db_, password), "") << "while serving";
    service_.Stop();
    EXPECT_EQ(FilesWithText(db_, password), "") << "after the stop";
    EXPECT_EQ(FilesWithText(dir_ + "/groupd.log", password), "");
}

// The schema and the writes of the version that kept passwords in clear.
void WriteOldDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const char* sql = R"sql(
PRAGMA journal_mode=WAL;
CREATE TABLE groups(
  serial INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL, password TEXT NOT NULL, created TEXT NOT NULL,
  device_id TEXT UNIQUE);
CREATE TABLE relays(
  device_number INTEGER PRIMARY KEY, group_id TEXT NOT NULL, iccid TEXT NOT NULL,
  imei TEXT NOT NULL);
INSERT INTO sqlite_sequence(name, seq) VALUES('groups', 100000);
INSERT INTO groups(name, password, created) VALUES('one', 'OldPwOne1', '2025-01-01 10:00:00');
INSERT INTO groups(name, password, created) VALUES('two', 'OldPwTwo2', '2025-01-02 10:00:00');
INSERT INTO groups(name, password, created) VALUES('three', 'OldPwThree3', '2025-01-03 10:00:00');
INSERT INTO groups(name, password, created) VALUES('reserved', 'OldPwFour4', '2025-01-04 10:00:00');
UPDATE groups SET device_id = '5001' WHERE name = 'one';
UPDATE groups SET device_id = '5002' WHERE name = 'two';
UPDATE groups SET device_id = '5003' WHERE name = 'three';
INSERT INTO relays VALUES(7, '5002', '8986', '8600');
)sql";
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST_F(GroupdTest, AnOldDatabaseIsConvertedOnOpeningAndEveryGroupStillLogsIn) {
    service_.Stop();
    std::filesystem::remove(db_);
    WriteOldDatabase(db_);
    ASSERT_NE(FilesWithText(db_, "OldPwTwo2"), "");  // in clear, as the old version wrote it
    // private already, so that the listing below is the tool's output alone (the narrowing of
    // wider files, with its note on stderr, is a test of its own)
    for (const char* suffix : {"", "-wal", "-shm"}) ::chmod((db_ + suffix).c_str(), 0600);

    const std::string listed = Tool({"list-groups"});
    EXPECT_EQ(listed.rfind("100001,one,2025-01-01 10:00:00,5001\n", 0), 0u) << listed;
    EXPECT_NE(listed.find("100004,reserved,2025-01-04 10:00:00,\n"), std::string::npos);
    for (const char* clear : {"OldPwOne1", "OldPwTwo2", "OldPwThree3", "OldPwFour4"}) {
        EXPECT_EQ(FilesWithText(db_, clear), "") << clear;
    }

    ASSERT_TRUE(StartService());
    const std::pair<const char*, const char*> groups[] = {
        {"5001", "OldPwOne1"}, {"5002", "OldPwTwo2"}, {"5003", "OldPwThree3"}};
    for (const auto& [id, password] : groups) {
        EXPECT_TRUE(GroupLoginOk(Client(), id, password).accepted) << id;
        EXPECT_FALSE(GroupLoginOk(Client(), id, "OldPwOne0").accepted) << id;
    }
    EXPECT_EQ(Tool({"list-devices", "5002"}), "7,8986,8600\n");
    // the reserved group can still be bound with its old password, and not with another
    EXPECT_EQ(Client().HttpGet("/norvex/updateonenetinfo.asp?id=100004&pwd=OldPwOne1&devid=5004"),
              "err");
    EXPECT_EQ(Client().HttpGet("/norvex/updateonenetinfo.asp?id=100004&pwd=OldPwFour4&devid=5004"),
              "ok");
    EXPECT_TRUE(GroupLoginOk(Client(), "5004", "OldPwFour4").accepted);
}

}  // namespace
}  // namespace norvex
