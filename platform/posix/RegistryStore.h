#pragma once
// The store file: one SQLite connection per process, the registry lock that
// makes the calls of one process take turns on it, one transaction per call,
// and the translation of SQLite results into Win32 codes.
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/types.h"

namespace platform {

// The one place where an SQLite result becomes a Win32 code. A busy store
// that outlasted the time-out, a full disk or an I/O error is reported as a
// failed read or write, whichever the call was doing.
LONG regErrorFromSqlite(int result, bool writing);

// A prepared statement borrowed from the connection's cache; reset when the
// wrapper goes away so the next borrower starts clean. A failed bind is kept
// and returned by step().
class RegistryStatement {
public:
    RegistryStatement() = default;
    explicit RegistryStatement(sqlite3_stmt* statement) : m_statement(statement) {}
    ~RegistryStatement();
    RegistryStatement(const RegistryStatement&) = delete;
    RegistryStatement& operator=(const RegistryStatement&) = delete;
    RegistryStatement(RegistryStatement&& other) noexcept;
    RegistryStatement& operator=(RegistryStatement&& other) noexcept;

    void bind(int index, long long value);
    void bindText(int index, const std::string& text);
    void bindBlob(int index, const std::string& bytes);
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step();
    long long columnInt(int column) const;
    bool columnIsNull(int column) const;
    std::string columnText(int column) const;
    std::string columnBlob(int column) const;

private:
    void release();

    sqlite3_stmt* m_statement = nullptr;
    int m_bindResult = SQLITE_OK;
};

// One open connection to a store file.
class RegistryStore {
public:
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // Opens `path` for a call that reads or, with `write`, writes; creates
    // the file when `create` is set.
    static LONG open(const std::string& path, bool write, bool create, std::unique_ptr<RegistryStore>* store);

    // Whether this connection still serves `path` for this process: the same
    // file (not one deleted and made again under the same name), opened by
    // this process (a connection must not cross a fork), writable when a
    // write is wanted.
    bool serves(const std::string& path, const struct stat& file, bool write) const;
    bool openedByThisProcess() const;

    LONG prepare(const char* sql, RegistryStatement* statement);
    // Runs a statement that returns no rows.
    LONG execute(const char* sql);
    long long lastInsertId() const { return sqlite3_last_insert_rowid(m_db); }
    // Rows changed by the last statement.
    int changes() const { return sqlite3_changes(m_db); }
    // Translates a result of this connection's current transaction.
    LONG error(int result) const { return regErrorFromSqlite(result, m_writing); }

    // Begins a transaction and makes sure the tables exist. `exists` is false
    // for a store file that no process has finished creating yet (only
    // possible when not writing).
    LONG begin(bool write, bool* exists);
    LONG commit();
    void rollback();

private:
    RegistryStore(std::string path, sqlite3* db);
    LONG useWal();
    LONG schemaVersion(int* version);
    LONG createSchema();

    std::string m_path;
    sqlite3* m_db = nullptr;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    pid_t m_owner = 0;
    bool m_schemaReady = false;
    bool m_writing = false;
    std::unordered_map<std::string, sqlite3_stmt*> m_statements;
};

enum class RegistryMode {
    Read,    // a store that does not exist is read as empty
    Modify,  // writes to an existing store; one that does not exist is left so
    Create,  // writes, creating the store (and its folder) when missing
};

// One registry call: holds the registry lock for its whole life and at most
// one transaction, rolled back unless committed.
class RegistryCall {
public:
    RegistryCall();
    ~RegistryCall();
    RegistryCall(const RegistryCall&) = delete;
    RegistryCall& operator=(const RegistryCall&) = delete;

    LONG begin(const std::string& path, RegistryMode mode);
    // Ends the transaction keeping its changes; nothing to do without one.
    LONG commit();
    // Null after a successful begin() when the store does not exist (Read,
    // Modify).
    RegistryStore* store() const { return m_store; }

private:
    std::unique_lock<std::mutex> m_lock;
    RegistryStore* m_store = nullptr;
    bool m_open = false;
};

// Runs the body of a public call. The standard library throws only when
// memory runs out; that must not cross the library's boundary.
template <typename Body>
LONG regGuard(Body body) noexcept {
    try {
        return body();
    } catch (const std::exception&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace platform
