#pragma once
#include <sqlite3.h>

#include <string>

namespace norvex::groupd {

// Earlier versions kept group passwords in clear, in the column "password".  This renames the
// column to "password_hash" and replaces every value by its hash, in one transaction, then
// rebuilds the file and empties the write-ahead log so that no page, free or live, still holds
// a clear password.  Nothing to do for a file already converted; false with *error set when
// the conversion fails (the transaction leaves the file unchanged) or the rebuild fails (it is
// tried again on the next call).
bool HashClearPasswords(sqlite3* db, std::string* error);

}  // namespace norvex::groupd
