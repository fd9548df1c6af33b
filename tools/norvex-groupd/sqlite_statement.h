#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

namespace norvex::groupd {

struct StmtCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

// A prepared statement with its parameters bound in order.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
        stmt_.reset(s);
    }
    Stmt& Bind(const std::string& v) {
        sqlite3_bind_text(stmt_.get(), ++index_, v.data(), static_cast<int>(v.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& Bind(int64_t v) {
        sqlite3_bind_int64(stmt_.get(), ++index_, v);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return stmt_ ? sqlite3_step(stmt_.get()) : SQLITE_ERROR; }
    bool Run() { return Step() == SQLITE_DONE; }
    int64_t Int(int col) { return sqlite3_column_int64(stmt_.get(), col); }
    std::string Text(int col) {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_.get(), col)))
                 : std::string();
    }

private:
    std::unique_ptr<sqlite3_stmt, StmtCloser> stmt_;
    int index_ = 0;
};

}  // namespace norvex::groupd
