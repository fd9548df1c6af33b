#pragma once
#include <string>

namespace norvex::groupd {

// The database holds the password hashes: its file and SQLite's journals beside it are for
// this user alone.  Creates the missing folders above path (0700) and the database file (0600);
// a file already there with a wider mode (the database, -wal, -shm, -journal) is narrowed to
// 0600, and each one so changed is named on stderr.  false, with *error set, when the folder
// or file cannot be made or narrowed.
bool PreparePrivateDatabase(const std::string& path, std::string* error);

}  // namespace norvex::groupd
