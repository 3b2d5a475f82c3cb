#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "RegistryTestUtil.h"
#include "platform/registry.h"
#include "support/TempRegistry.h"

using namespace platform;
using testsupport::ChildProcess;
using testsupport::createKey;
using testsupport::readBytes;
using testsupport::setDword;
using testsupport::subkeyNames;
using testsupport::valueNames;

namespace {

constexpr std::chrono::seconds kChildDeadline{60};
constexpr int kNobody = 65534;

// Runs the helper to completion and returns its output; fails the test when
// it does not finish in time.
std::string runHelper(const std::vector<std::string>& args, int uid = -1, int* exitCode = nullptr) {
    ChildProcess child;
    if (!child.start(REGISTRY_HELPER_PATH, args, uid, uid)) {
        ADD_FAILURE() << "cannot start the helper";
        return std::string();
    }
    child.openGate();
    if (!child.finish(kChildDeadline)) {
        ADD_FAILURE() << "the helper did not finish: " << child.output();
    }
    if (exitCode != nullptr) {
        *exitCode = child.exitCode();
    }
    return child.output();
}

// Another writer caught with a new store open and a write under way, as when
// two processes create the store at the same moment. It lets go after
// `hold`, from a thread of its own. SQLite keeps a second connection of this
// process out exactly as it keeps out one of another process.
class WriterInNewStore {
public:
    WriterInNewStore(const std::string& path, std::chrono::milliseconds hold) {
        if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK ||
            sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            return;
        }
        m_holding = true;
        m_release = std::thread([this, hold] {
            std::this_thread::sleep_for(hold);
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        });
    }

    ~WriterInNewStore() {
        if (m_release.joinable()) {
            m_release.join();
        }
        sqlite3_close(m_db);
    }

    WriterInNewStore(const WriterInNewStore&) = delete;
    WriterInNewStore& operator=(const WriterInNewStore&) = delete;

    bool holding() const { return m_holding; }

private:
    sqlite3* m_db = nullptr;
    bool m_holding = false;
    std::thread m_release;
};

// Long enough that the call under test reaches the store while the other
// writer still holds it, even on a loaded machine.
constexpr std::chrono::milliseconds kHold{500};

std::string journalMode(const std::string& path) {
    sqlite3* db = nullptr;
    std::string mode = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            mode = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return mode;
}

TEST(RegistryProcesses, TwoWritersAtOnceLoseNothing) {
    testsupport::TempRegistry registry;
    constexpr int kValuesEach = 200;
    ChildProcess first;
    ChildProcess second;
    // Neither has touched the store yet: they also race to create it.
    ASSERT_TRUE(first.start(REGISTRY_HELPER_PATH, {"write", "SOFTWARE\\Shared", "first", std::to_string(kValuesEach)}));
    ASSERT_TRUE(second.start(REGISTRY_HELPER_PATH, {"write", "software\\SHARED", "second", std::to_string(kValuesEach)}));
    first.openGate();
    second.openGate();
    ASSERT_TRUE(first.finish(kChildDeadline)) << first.output();
    ASSERT_TRUE(second.finish(kChildDeadline)) << second.output();
    EXPECT_EQ(first.exitCode(), 0) << first.output();
    EXPECT_EQ(second.exitCode(), 0) << second.output();

    HKey shared = nullptr;
    ASSERT_EQ(regOpenKeyEx(HKLM, "SOFTWARE\\Shared", KEY_READ, &shared), ERROR_SUCCESS);
    const std::vector<std::string> names = valueNames(shared);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 2u * kValuesEach);
    for (int i = 0; i < kValuesEach; ++i) {
        const std::string expected(reinterpret_cast<const char*>(&i), 4);
        EXPECT_EQ(readBytes(shared, ("first" + std::to_string(i)).c_str()), expected);
        EXPECT_EQ(readBytes(shared, ("second" + std::to_string(i)).c_str()), expected);
    }
    EXPECT_EQ(subkeyNames(shared), std::vector<std::string>{"Tree"});
    HKey common = nullptr;
    ASSERT_EQ(regOpenKeyEx(shared, "Tree\\Common", KEY_READ, &common), ERROR_SUCCESS);
    EXPECT_EQ(subkeyNames(common).size(), 2u * kValuesEach / 10);
    regCloseKey(common);
    regCloseKey(shared);
}

// The first connection to a new store switches it to WAL. The calls below
// meet a store that another writer is still creating; they must wait for it
// as for any other busy store, not fail.
TEST(RegistryProcesses, AWriterWaitsForAnotherCreatingTheStore) {
    testsupport::TempRegistry registry;
    HKey key = nullptr;
    {
        WriterInNewStore other(registry.path(), kHold);
        ASSERT_TRUE(other.holding());
        EXPECT_EQ(regCreateKeyEx(HKLM, "SOFTWARE\\Corvane", KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    }
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(setDword(key, "Port", 7), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(key, "Port"), std::string("\x07\0\0\0", 4));
    regCloseKey(key);
    EXPECT_EQ(journalMode(registry.path()), "wal");
}

TEST(RegistryProcesses, AReaderWaitsForAnotherCreatingTheStore) {
    testsupport::TempRegistry registry;
    HKey key = nullptr;
    {
        WriterInNewStore other(registry.path(), kHold);
        ASSERT_TRUE(other.holding());
        // Nothing is in the store yet: the key is missing, the store is not
        // unreadable.
        EXPECT_EQ(regOpenKeyEx(HKLM, "SOFTWARE\\Corvane", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(journalMode(registry.path()), "wal");
}

TEST(RegistryProcesses, ThreadsShareAHandleSafely) {
    testsupport::TempRegistry registry;
    HKey shared = createKey(HKLM, "Threads");
    ASSERT_NE(shared, nullptr);
    constexpr int kThreads = 4;
    constexpr int kValuesEach = 50;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kValuesEach; ++i) {
                const std::string name = "t" + std::to_string(t) + "v" + std::to_string(i);
                HKey own = createKey(shared, ("Keys\\" + name).c_str());
                if (setDword(shared, name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS || own == nullptr ||
                    regCloseKey(own) != ERROR_SUCCESS || valueNames(shared).empty()) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    DWORD values = 0;
    EXPECT_EQ(regQueryInfoKey(shared, nullptr, &values), ERROR_SUCCESS);
    EXPECT_EQ(values, static_cast<DWORD>(kThreads * kValuesEach));
    HKey keys = nullptr;
    ASSERT_EQ(regOpenKeyEx(shared, "Keys", KEY_READ, &keys), ERROR_SUCCESS);
    EXPECT_EQ(subkeyNames(keys).size(), static_cast<std::size_t>(kThreads * kValuesEach));
    regCloseKey(keys);
    regCloseKey(shared);
}

// Write rights follow the store's permissions. Root ignores permission bits,
// so as root the reader runs as nobody; as anyone else the bits bind the
// helper directly.
class RegistryPermissions : public ::testing::Test {
protected:
    void SetUp() override {
        m_uid = ::geteuid() == 0 ? kNobody : -1;
    }

    std::string probe(const std::vector<std::string>& args) {
        int exitCode = 0;
        const std::string output = runHelper(args, m_uid, &exitCode);
        if (exitCode == ChildProcess::kCannotSwitchUser) {
            m_skipReason = "running as root without the right to switch to nobody";
        }
        return output;
    }

    int m_uid = -1;
    std::string m_skipReason;
};

TEST_F(RegistryPermissions, AReaderMayReadButNotWrite) {
    testsupport::TempRegistry registry;
    ASSERT_EQ(::chmod(registry.directory().c_str(), 0755), 0);
    // Written by another process that has exited: the reader finds the store
    // without any connection keeping its WAL files open.
    int exitCode = -1;
    const std::string written = runHelper({"set", "SOFTWARE\\Corvane", "Port", "COM7"}, -1, &exitCode);
    ASSERT_EQ(exitCode, 0) << written;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        ::chmod((registry.path() + suffix).c_str(), 0644);
    }

    const std::string output = probe({"probe", "SOFTWARE\\Corvane", "Port"});
    if (!m_skipReason.empty()) {
        GTEST_SKIP() << m_skipReason;
    }
    EXPECT_EQ(output,
              "open-read=0 query=0 data=COM7 create-existing-read=0 open-write=5 create-new=5 set-root=5\n");

    HKey key = nullptr;
    EXPECT_EQ(regOpenKeyEx(HKLM, "SOFTWARE\\Corvane\\New", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(readBytes(HKLM, "Probe"), "error 2");
}

TEST_F(RegistryPermissions, AStoreThatCannotBeCreatedIsAccessDenied) {
    testsupport::TempRegistry registry;
    ASSERT_EQ(::chmod(registry.directory().c_str(), 0555), 0);
    const std::string output = probe({"set", "SOFTWARE\\Corvane", "Port", "COM7"});
    ::chmod(registry.directory().c_str(), 0700);
    if (!m_skipReason.empty()) {
        GTEST_SKIP() << m_skipReason;
    }
    EXPECT_EQ(output, "set=5\n");
    struct stat info {};
    EXPECT_NE(::stat(registry.path().c_str(), &info), 0);
}

}  // namespace
