#include "RegistryTree.h"

#include "RegistryNames.h"

namespace platform {

namespace {

const char* const kSelectKey = "SELECT parent_id, name FROM keys WHERE id = ?1";
const char* const kSelectChild = "SELECT id FROM keys WHERE parent_id = ?1 AND name_folded = ?2";
const char* const kInsertKey = "INSERT INTO keys(parent_id, name, name_folded) VALUES(?1, ?2, ?3)";
const char* const kSelectSubkeyAt =
    "SELECT id, name FROM keys WHERE parent_id = ?1 ORDER BY name_folded LIMIT 1 OFFSET ?2";
const char* const kSelectSubkeys = "SELECT id, name FROM keys WHERE parent_id = ?1 ORDER BY name_folded";
const char* const kCountSubkeys = "SELECT count(*) FROM keys WHERE parent_id = ?1";
const char* const kSelectValue = "SELECT name, type, data FROM key_values WHERE key_id = ?1 AND name_folded = ?2";
const char* const kSelectValueAt =
    "SELECT name, type, data FROM key_values WHERE key_id = ?1 ORDER BY id LIMIT 1 OFFSET ?2";
const char* const kSelectValues = "SELECT name, type, data FROM key_values WHERE key_id = ?1 ORDER BY id";
const char* const kCountValues = "SELECT count(*) FROM key_values WHERE key_id = ?1";
const char* const kUpsertValue =
    "INSERT INTO key_values(key_id, name, name_folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(key_id, name_folded) DO UPDATE SET type = excluded.type, data = excluded.data";
const char* const kDeleteValue = "DELETE FROM key_values WHERE key_id = ?1 AND name_folded = ?2";
const char* const kDeleteKey = "DELETE FROM keys WHERE id = ?1";
const char* const kDeleteSubkeys = "DELETE FROM keys WHERE parent_id = ?1";
const char* const kDeleteValues = "DELETE FROM key_values WHERE key_id = ?1";

}  // namespace

LONG RegistryTree::run(RegistryStatement& statement) {
    const int result = statement.step();
    return result == SQLITE_DONE ? ERROR_SUCCESS : m_store.error(result);
}

LONG RegistryTree::checkKey(long long key) {
    RegistryStatement statement;
    LONG result = m_store.prepare(kSelectKey, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    const int stepped = statement.step();
    if (stepped == SQLITE_DONE) {
        return ERROR_KEY_DELETED;
    }
    return stepped == SQLITE_ROW ? ERROR_SUCCESS : m_store.error(stepped);
}

LONG RegistryTree::findChild(long long parent, const std::string& name, long long* child) {
    RegistryStatement statement;
    LONG result = m_store.prepare(kSelectChild, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, parent);
    statement.bindText(2, regFoldName(name));
    const int stepped = statement.step();
    if (stepped == SQLITE_DONE) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (stepped != SQLITE_ROW) {
        return m_store.error(stepped);
    }
    *child = statement.columnInt(0);
    return ERROR_SUCCESS;
}

LONG RegistryTree::findPath(long long from, const std::vector<std::string>& names, long long* key) {
    long long current = from;
    for (const std::string& name : names) {
        const LONG result = findChild(current, name, &current);
        if (result != ERROR_SUCCESS) {
            return result;
        }
    }
    *key = current;
    return ERROR_SUCCESS;
}

LONG RegistryTree::createPath(long long from, const std::vector<std::string>& names, long long* key, bool* created) {
    long long current = from;
    *created = false;
    for (const std::string& name : names) {
        LONG result = findChild(current, name, &current);
        *created = result == ERROR_FILE_NOT_FOUND;
        if (*created) {
            RegistryStatement statement;
            result = m_store.prepare(kInsertKey, &statement);
            if (result == ERROR_SUCCESS) {
                statement.bind(1, current);
                statement.bindText(2, name);
                statement.bindText(3, regFoldName(name));
                result = run(statement);
                current = m_store.lastInsertId();
            }
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
    }
    *key = current;
    return ERROR_SUCCESS;
}

LONG RegistryTree::keyPath(long long key, std::string* path) {
    path->clear();
    long long current = key;
    bool atRoot = false;
    while (!atRoot) {
        RegistryStatement statement;
        const LONG result = m_store.prepare(kSelectKey, &statement);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        statement.bind(1, current);
        const int stepped = statement.step();
        if (stepped == SQLITE_DONE) {
            return ERROR_KEY_DELETED;
        }
        if (stepped != SQLITE_ROW) {
            return m_store.error(stepped);
        }
        const std::string name = statement.columnText(1);
        *path = path->empty() ? name : name + "\\" + *path;
        atRoot = statement.columnIsNull(0);
        current = statement.columnInt(0);
    }
    return ERROR_SUCCESS;
}

LONG RegistryTree::subkeyAt(long long key, DWORD index, RegStoredKey* subkey) {
    RegistryStatement statement;
    const LONG result = m_store.prepare(kSelectSubkeyAt, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    statement.bind(2, index);
    const int stepped = statement.step();
    if (stepped == SQLITE_DONE) {
        return ERROR_NO_MORE_ITEMS;
    }
    if (stepped != SQLITE_ROW) {
        return m_store.error(stepped);
    }
    subkey->id = statement.columnInt(0);
    subkey->name = statement.columnText(1);
    return ERROR_SUCCESS;
}

LONG RegistryTree::subkeys(long long key, std::vector<RegStoredKey>* subkeys) {
    subkeys->clear();
    RegistryStatement statement;
    const LONG result = m_store.prepare(kSelectSubkeys, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    int stepped = SQLITE_ROW;
    while ((stepped = statement.step()) == SQLITE_ROW) {
        subkeys->push_back(RegStoredKey{statement.columnInt(0), statement.columnText(1)});
    }
    return stepped == SQLITE_DONE ? ERROR_SUCCESS : m_store.error(stepped);
}

LONG RegistryTree::count(const char* sql, long long key, DWORD* count) {
    RegistryStatement statement;
    const LONG result = m_store.prepare(sql, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    const int stepped = statement.step();
    if (stepped != SQLITE_ROW) {
        return m_store.error(stepped);
    }
    *count = static_cast<DWORD>(statement.columnInt(0));
    return ERROR_SUCCESS;
}

LONG RegistryTree::countSubkeys(long long key, DWORD* count) {
    return this->count(kCountSubkeys, key, count);
}

LONG RegistryTree::countValues(long long key, DWORD* count) {
    return this->count(kCountValues, key, count);
}

void RegistryTree::readValue(const RegistryStatement& statement, RegStoredValue* value) {
    value->name = statement.columnText(0);
    value->type = static_cast<DWORD>(statement.columnInt(1));
    value->data = statement.columnBlob(2);
}

LONG RegistryTree::findValue(long long key, const std::string& name, RegStoredValue* value) {
    RegistryStatement statement;
    const LONG result = m_store.prepare(kSelectValue, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    statement.bindText(2, regFoldName(name));
    const int stepped = statement.step();
    if (stepped == SQLITE_DONE) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (stepped != SQLITE_ROW) {
        return m_store.error(stepped);
    }
    readValue(statement, value);
    return ERROR_SUCCESS;
}

LONG RegistryTree::valueAt(long long key, DWORD index, RegStoredValue* value) {
    RegistryStatement statement;
    const LONG result = m_store.prepare(kSelectValueAt, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    statement.bind(2, index);
    const int stepped = statement.step();
    if (stepped == SQLITE_DONE) {
        return ERROR_NO_MORE_ITEMS;
    }
    if (stepped != SQLITE_ROW) {
        return m_store.error(stepped);
    }
    readValue(statement, value);
    return ERROR_SUCCESS;
}

LONG RegistryTree::values(long long key, std::vector<RegStoredValue>* values) {
    values->clear();
    RegistryStatement statement;
    const LONG result = m_store.prepare(kSelectValues, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    int stepped = SQLITE_ROW;
    while ((stepped = statement.step()) == SQLITE_ROW) {
        values->emplace_back();
        readValue(statement, &values->back());
    }
    return stepped == SQLITE_DONE ? ERROR_SUCCESS : m_store.error(stepped);
}

LONG RegistryTree::setValue(long long key, const std::string& name, DWORD type, const std::string& data) {
    RegistryStatement statement;
    const LONG result = m_store.prepare(kUpsertValue, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    statement.bindText(2, name);
    statement.bindText(3, regFoldName(name));
    statement.bind(4, type);
    statement.bindBlob(5, data);
    return run(statement);
}

LONG RegistryTree::deleteValue(long long key, const std::string& name) {
    RegistryStatement statement;
    const LONG result = m_store.prepare(kDeleteValue, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    statement.bindText(2, regFoldName(name));
    const LONG deleted = run(statement);
    if (deleted != ERROR_SUCCESS) {
        return deleted;
    }
    return m_store.changes() == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

LONG RegistryTree::deleteRows(const char* sql, long long key) {
    RegistryStatement statement;
    const LONG result = m_store.prepare(sql, &statement);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    statement.bind(1, key);
    return run(statement);
}

LONG RegistryTree::deleteKey(long long key) {
    return deleteRows(kDeleteKey, key);
}

LONG RegistryTree::clearKey(long long key) {
    const LONG result = deleteRows(kDeleteSubkeys, key);
    return result != ERROR_SUCCESS ? result : deleteRows(kDeleteValues, key);
}

}  // namespace platform
