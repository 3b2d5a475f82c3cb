#include "RegistryStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "RegistryAccess.h"
#include "RegistryHandles.h"

namespace platform {

namespace {

// Long enough for a writer in another process to finish an import of a whole
// installation; short enough that a stuck store is reported, not waited on
// for ever.
constexpr int kBusyTimeoutMs = 10000;

// The longest pause between two tries of a change that SQLite will not wait
// for by itself.
constexpr int kLongestRetryPauseMs = 50;

constexpr int kSchemaVersion = 1;

// Keys form one table whose roots are rows of their own, so every key has a
// parent and a deleted key takes its subtree and values with it through the
// foreign keys. AUTOINCREMENT keeps row ids from being reused: a handle to a
// deleted key must not find a new key under the old id, and a value's id is
// its place in the creation order.
const char* const kSchemaSql =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent_id INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL,"
    " name_folded TEXT NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_name ON keys(parent_id, name_folded);"
    "CREATE TABLE IF NOT EXISTS key_values("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key_id INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL,"
    " name_folded TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS values_by_name ON key_values(key_id, name_folded);"
    "INSERT OR IGNORE INTO keys(id, parent_id, name, name_folded) VALUES"
    " (1, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
    " (2, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT');"
    "PRAGMA user_version = 1;";

static_assert(kRegLocalMachineId == 1 && kRegClassesRootId == 2, "the schema creates the roots under these ids");

std::mutex& registryLock() {
    static std::mutex lock;
    return lock;
}

// Guarded by the registry lock. One connection is kept: a process works with
// one store, and tests that switch stores pay one reopen per switch.
std::unique_ptr<RegistryStore>& cachedStore() {
    static std::unique_ptr<RegistryStore> store;
    return store;
}

// Connections inherited through fork(). Closing one in the child could
// checkpoint or delete files the parent is using, so they are kept, unused.
std::vector<RegistryStore*>& inheritedStores() {
    static std::vector<RegistryStore*> stores;
    return stores;
}

void dropCachedStore() {
    std::unique_ptr<RegistryStore>& cached = cachedStore();
    if (cached && !cached->openedByThisProcess()) {
        inheritedStores().push_back(cached.release());
    }
    cached.reset();
}

// The cached connection for `path`, opened if need be. Null with success
// when the store does not exist and `create` is not set.
LONG acquireStore(const std::string& path, bool write, bool create, RegistryStore** store) {
    *store = nullptr;
    struct stat file {};
    const bool present = ::stat(path.c_str(), &file) == 0;
    std::unique_ptr<RegistryStore>& cached = cachedStore();
    if (cached && !(present && cached->serves(path, file, write))) {
        dropCachedStore();
    }
    if (!cached) {
        if (!present && !create) {
            return ERROR_SUCCESS;
        }
        if (!present) {
            const LONG folderResult = regCreateStoreFolder(path);
            if (folderResult != ERROR_SUCCESS) {
                return folderResult;
            }
        }
        const LONG openResult = RegistryStore::open(path, write, create, &cached);
        if (openResult != ERROR_SUCCESS) {
            return openResult;
        }
    }
    *store = cached.get();
    return ERROR_SUCCESS;
}

}  // namespace

LONG regErrorFromSqlite(int result, bool writing) {
    switch (result & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return ERROR_SUCCESS;
        case SQLITE_PERM:
        case SQLITE_READONLY:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        case SQLITE_NOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_SCHEMA:
            return ERROR_BADDB;
        case SQLITE_CANTOPEN:
            return ERROR_CANTOPEN;
        case SQLITE_TOOBIG:
            return ERROR_INVALID_PARAMETER;
        default:
            return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
    }
}

RegistryStatement::~RegistryStatement() {
    release();
}

void RegistryStatement::release() {
    if (m_statement != nullptr) {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        m_statement = nullptr;
    }
}

RegistryStatement::RegistryStatement(RegistryStatement&& other) noexcept
    : m_statement(other.m_statement), m_bindResult(other.m_bindResult) {
    other.m_statement = nullptr;
}

RegistryStatement& RegistryStatement::operator=(RegistryStatement&& other) noexcept {
    if (this != &other) {
        release();
        m_statement = other.m_statement;
        m_bindResult = other.m_bindResult;
        other.m_statement = nullptr;
    }
    return *this;
}

void RegistryStatement::bind(int index, long long value) {
    const int result = sqlite3_bind_int64(m_statement, index, value);
    if (m_bindResult == SQLITE_OK) {
        m_bindResult = result;
    }
}

void RegistryStatement::bindText(int index, const std::string& text) {
    const int result = sqlite3_bind_text64(m_statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (m_bindResult == SQLITE_OK) {
        m_bindResult = result;
    }
}

void RegistryStatement::bindBlob(int index, const std::string& bytes) {
    // A zero-length blob from a null pointer would be bound as NULL.
    static const char kEmpty = 0;
    const int result = sqlite3_bind_blob64(m_statement, index, bytes.empty() ? &kEmpty : bytes.data(), bytes.size(),
                                           SQLITE_TRANSIENT);
    if (m_bindResult == SQLITE_OK) {
        m_bindResult = result;
    }
}

int RegistryStatement::step() {
    return m_bindResult != SQLITE_OK ? m_bindResult : sqlite3_step(m_statement);
}

long long RegistryStatement::columnInt(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

bool RegistryStatement::columnIsNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::string RegistryStatement::columnText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return text == nullptr ? std::string() : std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)));
}

std::string RegistryStatement::columnBlob(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    return bytes == nullptr ? std::string() : std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)));
}

RegistryStore::RegistryStore(std::string path, sqlite3* db) : m_path(std::move(path)), m_db(db), m_owner(::getpid()) {}

RegistryStore::~RegistryStore() {
    for (auto& entry : m_statements) {
        sqlite3_finalize(entry.second);
    }
    sqlite3_close(m_db);
}

LONG RegistryStore::open(const std::string& path, bool write, bool create, std::unique_ptr<RegistryStore>* store) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    std::unique_ptr<RegistryStore> connection(new RegistryStore(path, db));
    // A failure while opening is a failed write for a call that writes.
    connection->m_writing = write;
    if (opened != SQLITE_OK) {
        return regErrorFromSqlite(opened, write);
    }
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
        return ERROR_CANTOPEN;
    }
    connection->m_device = file.st_dev;
    connection->m_inode = file.st_ino;
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    LONG result = connection->execute("PRAGMA foreign_keys = ON");
    if (result == ERROR_SUCCESS && sqlite3_db_readonly(db, "main") == 0) {
        result = connection->useWal();
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    *store = std::move(connection);
    return ERROR_SUCCESS;
}

bool RegistryStore::serves(const std::string& path, const struct stat& file, bool write) const {
    return openedByThisProcess() && path == m_path && file.st_dev == m_device && file.st_ino == m_inode &&
           !(write && sqlite3_db_readonly(m_db, "main") != 0);
}

bool RegistryStore::openedByThisProcess() const {
    return m_owner == ::getpid();
}

LONG RegistryStore::prepare(const char* sql, RegistryStatement* statement) {
    auto found = m_statements.find(sql);
    if (found == m_statements.end()) {
        sqlite3_stmt* prepared = nullptr;
        const int result = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr);
        if (result != SQLITE_OK) {
            sqlite3_finalize(prepared);
            return error(result);
        }
        found = m_statements.emplace(sql, prepared).first;
    }
    *statement = RegistryStatement(found->second);
    return ERROR_SUCCESS;
}

LONG RegistryStore::execute(const char* sql) {
    return error(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr));
}

LONG RegistryStore::useWal() {
    // WAL lets readers go on while a writer works. The WAL and its index stay
    // on disk after the last connection closes: a user who may only read the
    // store cannot create them, and SQLite needs them to read.
    int persist = 1;
    sqlite3_file_control(m_db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // Switching a store that is not in WAL yet (a new one) writes its header.
    // When another connection is writing at that moment - another process
    // switching or filling the same new store - SQLite answers busy at once
    // instead of calling the busy handler, so the switch is tried again for
    // as long as the busy handler would have waited. Once the other side has
    // switched, the next try finds the store in WAL and has nothing to write.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    int pauseMs = 1;
    int result = sqlite3_exec(m_db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    while ((result & 0xFF) == SQLITE_BUSY && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        pauseMs = std::min(pauseMs * 2, kLongestRetryPauseMs);
        result = sqlite3_exec(m_db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    }
    return error(result);
}

LONG RegistryStore::schemaVersion(int* version) {
    RegistryStatement statement;
    LONG result = prepare("PRAGMA user_version", &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const int stepped = statement.step();
    if (stepped != SQLITE_ROW) {
        return error(stepped);
    }
    *version = static_cast<int>(statement.columnInt(0));
    return ERROR_SUCCESS;
}

LONG RegistryStore::createSchema() {
    return execute(kSchemaSql);
}

LONG RegistryStore::begin(bool write, bool* exists) {
    m_writing = write;
    *exists = true;
    LONG result = execute(write ? "BEGIN IMMEDIATE" : "BEGIN");
    if (result != ERROR_SUCCESS || m_schemaReady) {
        return result;
    }
    int version = 0;
    result = schemaVersion(&version);
    if (result == ERROR_SUCCESS && version > kSchemaVersion) {
        result = ERROR_BADDB;
    } else if (result == ERROR_SUCCESS && version == 0) {
        if (write) {
            result = createSchema();
        } else {
            *exists = false;
        }
    }
    if (result != ERROR_SUCCESS || !*exists) {
        rollback();
        return result;
    }
    m_schemaReady = true;
    return ERROR_SUCCESS;
}

LONG RegistryStore::commit() {
    return execute("COMMIT");
}

void RegistryStore::rollback() {
    if (sqlite3_get_autocommit(m_db) == 0) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

RegistryCall::RegistryCall() : m_lock(registryLock()) {}

RegistryCall::~RegistryCall() {
    if (m_open) {
        m_store->rollback();
    }
}

LONG RegistryCall::begin(const std::string& path, RegistryMode mode) {
    const bool write = mode != RegistryMode::Read;
    LONG result = acquireStore(path, write, mode == RegistryMode::Create, &m_store);
    if (result != ERROR_SUCCESS || m_store == nullptr) {
        return result;
    }
    bool exists = true;
    result = m_store->begin(write, &exists);
    if (result != ERROR_SUCCESS || !exists) {
        m_store = nullptr;
        return result;
    }
    m_open = true;
    return ERROR_SUCCESS;
}

LONG RegistryCall::commit() {
    if (!m_open) {
        return ERROR_SUCCESS;
    }
    const LONG result = m_store->commit();
    if (result == ERROR_SUCCESS) {
        m_open = false;
    }
    return result;
}

}  // namespace platform
