#include "tracelog/tracelog.h"

#include <gtest/gtest.h>

#include "support/TempFolder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = testsupport::makeTempFolder("tracelog-test-");
    }

    void TearDown() override {
        if (m_handle != 0) {
            LOG_MODULE_DESTORY(&m_handle);
        }
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    TraceLogConfig config(const std::string& relativePath, int mode, int level, const char* format = "%l %v") {
        TraceLogConfig c{};
        std::snprintf(c.log_file_path, sizeof c.log_file_path, "%s", (m_dir / relativePath).string().c_str());
        c.mode = mode;
        c.level = level;
        std::snprintf(c.format, sizeof c.format, "%s", format);
        return c;
    }

    void init(const TraceLogConfig& c) {
        ASSERT_EQ(LOG_MODULE_INIT_Ex(&c, &m_handle), TRACELOG_OK);
        ASSERT_NE(m_handle, 0u);
    }

    // Destroying the module flushes everything it buffered.
    void close() { ASSERT_EQ(LOG_MODULE_DESTORY(&m_handle), TRACELOG_OK); }

    static std::vector<std::string> readLines(const fs::path& path) {
        std::vector<std::string> lines;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    fs::path m_dir;
    TraceLogHandle m_handle = 0;
};

TEST_F(TraceLogTest, WritesOnlyEntriesAtOrAboveTheConfiguredLevel) {
    init(config("level.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_NOTICE));
    EXPECT_EQ(LOG_DEBUG(m_handle, "debug %d", 1), 0);
    EXPECT_EQ(LOG_INFO(m_handle, "info %d", 2), 0);
    EXPECT_EQ(LOG_NOTICE(m_handle, "notice %d", 3), 1);
    EXPECT_EQ(LOG_WARN(m_handle, "warn %d", 4), 1);
    EXPECT_EQ(LOG_ERROR(m_handle, "error %d", 5), 1);
    EXPECT_EQ(LOG_CRIT(m_handle, "crit %d", 6), 1);
    EXPECT_EQ(LOG_FATAL(m_handle, "fatal %s", "7"), 1);
    close();
    EXPECT_EQ(readLines(m_dir / "level.log"),
              (std::vector<std::string>{"NOTICE notice 3", "WARN warn 4", "ERROR error 5", "CRIT crit 6",
                                        "FATAL fatal 7"}));
}

TEST_F(TraceLogTest, TraceLevelWritesDebugAndDisabledLevelOpensNoFile) {
    init(config("trace.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_TRACE));
    EXPECT_EQ(LOG_DEBUG(m_handle, "d"), 1);
    close();
    EXPECT_EQ(readLines(m_dir / "trace.log"), std::vector<std::string>{"DEBUG d"});

    init(config("off.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DISABLE));
    EXPECT_EQ(LOG_FATAL(m_handle, "f"), 0);
    close();
    EXPECT_FALSE(fs::exists(m_dir / "off.log"));
}

TEST_F(TraceLogTest, SimpleModeCreatesMissingDirectoriesAndAppendsAcrossModules) {
    const auto c = config("a/b/simple.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG);
    init(c);
    LOG_INFO(m_handle, "first");
    close();
    init(c);
    LOG_INFO(m_handle, "second");
    close();
    EXPECT_EQ(readLines(m_dir / "a/b/simple.log"), (std::vector<std::string>{"INFO first", "INFO second"}));
}

TEST_F(TraceLogTest, RollbackKeepsMaxBackupIndexOldFiles) {
    auto c = config("roll/PrinterRollback.log", TRACELOG_MODE_ROLLBACK, TRACELOG_LEVEL_DEBUG, "%v");
    c.max_file_size = 200;
    c.max_backup_index = 2;
    init(c);
    for (int i = 0; i < 40; ++i) {
        LOG_INFO(m_handle, "line %02d %s", i, std::string(40, '.').c_str());
    }
    close();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_dir / "roll")) {
        names.push_back(entry.path().filename().string());
        EXPECT_LE(fs::file_size(entry.path()), 200u) << entry.path();
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"PrinterRollback.1.log", "PrinterRollback.2.log",
                                               "PrinterRollback.log"}));
    // The newest lines are in the current file, the ones just before in .1.
    const auto current = readLines(m_dir / "roll/PrinterRollback.log");
    ASSERT_FALSE(current.empty());
    EXPECT_EQ(current.back().substr(0, 7), "line 39");
    const auto previous = readLines(m_dir / "roll/PrinterRollback.1.log");
    ASSERT_FALSE(previous.empty());
    EXPECT_EQ(previous.back().substr(0, 7), "line " + std::to_string(39 - static_cast<int>(current.size())));
}

TEST_F(TraceLogTest, RollbackWithZeroBackupIndexKeepsFiveOldFiles) {
    auto c = config("PrinterRollback.log", TRACELOG_MODE_ROLLBACK, TRACELOG_LEVEL_DEBUG, "%v");
    c.max_file_size = 100;
    init(c);
    for (int i = 0; i < 30; ++i) {
        LOG_INFO(m_handle, "%s", std::string(60, 'x').c_str());
    }
    close();
    EXPECT_TRUE(fs::exists(m_dir / "PrinterRollback.5.log"));
    EXPECT_FALSE(fs::exists(m_dir / "PrinterRollback.6.log"));
}

TEST_F(TraceLogTest, DateModeWritesTodaysDatedFile) {
    const auto dated = [](std::time_t t) {
        const std::tm tm = *std::localtime(&t);  // one thread here
        char name[64];
        std::strftime(name, sizeof name, "CashRollback_%Y-%m-%d.log", &tm);
        return std::string(name);
    };
    const std::string before = dated(std::time(nullptr));
    init(config("Cashlog/CashRollback.log", TRACELOG_MODE_DATE, TRACELOG_LEVEL_DEBUG));
    LOG_ERROR(m_handle, "dated");
    const std::string after = dated(std::time(nullptr));
    close();
    const bool found = fs::exists(m_dir / "Cashlog" / before) || fs::exists(m_dir / "Cashlog" / after);
    EXPECT_TRUE(found) << before;
    EXPECT_FALSE(fs::exists(m_dir / "Cashlog/CashRollback.log"));
}

TEST_F(TraceLogTest, DefaultFormatHasTimeThreadAndLevel) {
    init(config("default.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG, ""));
    LOG_WARN(m_handle, "ClaimDevice(%d, 0x%02x)", 1000, 7);
    close();
    const auto lines = readLines(m_dir / "default.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[\d+\] \[WARN\] ClaimDevice\(1000, 0x07\))")))
        << lines[0];
}

TEST_F(TraceLogTest, UnterminatedFormatFieldIsReadOnlyToItsEnd) {
    struct {
        TraceLogConfig config;
        char after[16];
    } record{};
    record.config = config("format.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG);
    std::memset(record.config.format, '-', sizeof record.config.format);
    std::memcpy(record.config.format + sizeof record.config.format - 2, "%v", 2);
    std::memset(record.after, 'Z', sizeof record.after);
    init(record.config);
    LOG_INFO(m_handle, "msg");
    close();
    EXPECT_EQ(readLines(m_dir / "format.log"),
              std::vector<std::string>{std::string(TRACELOG_FORMAT_SIZE - 2, '-') + "msg"});
}

TEST_F(TraceLogTest, LongMessageIsCutAtTheMessageLimit) {
    init(config("long.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG, "%v"));
    const std::string text(3 * TRACELOG_MAX_MESSAGE, 'q');
    EXPECT_EQ(LOG_INFO(m_handle, "%s!", text.c_str()), 1);
    close();
    EXPECT_EQ(readLines(m_dir / "long.log"), std::vector<std::string>{std::string(TRACELOG_MAX_MESSAGE, 'q')});
}

TEST_F(TraceLogTest, FlushSizeHoldsEntriesBackUntilTheThresholdOrAnError) {
    auto c = config("flush.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG, "%v");
    c.flush_size = 3;
    init(c);
    const auto path = m_dir / "flush.log";
    LOG_DEBUG(m_handle, "one");
    LOG_DEBUG(m_handle, "two");
    EXPECT_EQ(fs::file_size(path), 0u);
    LOG_DEBUG(m_handle, "three");
    EXPECT_EQ(readLines(path).size(), 3u);
    LOG_DEBUG(m_handle, "four");
    EXPECT_EQ(readLines(path).size(), 3u);
    LOG_ERROR(m_handle, "five");
    EXPECT_EQ(readLines(path).size(), 5u);
}

TEST_F(TraceLogTest, ZeroStaleAndForeignHandlesWriteNothing) {
    EXPECT_EQ(LOG_DEBUG(0, "nothing %d", 1), 0);
    EXPECT_EQ(LOG_FATAL(0, "nothing"), 0);
    EXPECT_EQ(LOG_ERROR(0x7fffffff, "never issued"), 0);

    init(config("stale.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG));
    const TraceLogHandle copy = m_handle;
    LOG_INFO(copy, "live");
    close();
    EXPECT_EQ(m_handle, 0u);
    EXPECT_EQ(LOG_INFO(copy, "after destroy"), 0);
    EXPECT_EQ(LOG_MODULE_DESTORY(&m_handle), TRACELOG_E_HANDLE);
    TraceLogHandle again = copy;
    EXPECT_EQ(LOG_MODULE_DESTORY(&again), TRACELOG_E_HANDLE);
    EXPECT_EQ(readLines(m_dir / "stale.log"), std::vector<std::string>{"INFO live"});

    // A new module never answers to the old number.
    init(config("stale.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG));
    EXPECT_NE(m_handle, copy);
    EXPECT_EQ(LOG_INFO(copy, "old number"), 0);
}

TEST_F(TraceLogTest, InitRejectsBadArgumentsAndUnwritablePaths) {
    TraceLogHandle handle = 12345;
    EXPECT_EQ(LOG_MODULE_INIT_Ex(nullptr, &handle), TRACELOG_E_PARAMETER);
    EXPECT_EQ(handle, 0u);
    auto c = config("x.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG);
    EXPECT_EQ(LOG_MODULE_INIT_Ex(&c, nullptr), TRACELOG_E_PARAMETER);
    EXPECT_EQ(LOG_MODULE_DESTORY(nullptr), TRACELOG_E_PARAMETER);

    TraceLogConfig empty{};
    empty.level = TRACELOG_LEVEL_DEBUG;
    EXPECT_EQ(LOG_MODULE_INIT_Ex(&empty, &handle), TRACELOG_E_PARAMETER);

    std::ofstream(m_dir / "plainfile") << "not a directory";
    c = config("plainfile/sub/x.log", TRACELOG_MODE_ROLLBACK, TRACELOG_LEVEL_DEBUG);
    EXPECT_EQ(LOG_MODULE_INIT_Ex(&c, &handle), TRACELOG_E_OPEN);
    EXPECT_EQ(handle, 0u);
}

TEST_F(TraceLogTest, ConcurrentWritersLoseAndInterleaveNoLine) {
    auto c = config("threads.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG, "[%t] %v");
    c.flush_size = 64;
    init(c);
    constexpr int kThreads = 8;
    constexpr int kLines = 1000;
    const std::string payload(120, '#');
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([this, t, &payload] {
            for (int i = 0; i < kLines; ++i) {
                LOG_DEBUG(m_handle, "writer=%d seq=%04d %s end", t, i, payload.c_str());
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    close();

    const std::regex shape(R"(\[\d+\] writer=(\d) seq=(\d{4}) #{120} end)");
    std::vector<int> next(kThreads, 0);
    const auto lines = readLines(m_dir / "threads.log");
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        const int writer = std::stoi(m[1]);
        // Each writer's lines appear whole and in the order it wrote them.
        ASSERT_EQ(std::stoi(m[2]), next[writer]++) << line;
    }
}

TEST_F(TraceLogTest, DestroyWhileOthersWriteLeavesOnlyWholeLines) {
    init(config("race.log", TRACELOG_MODE_SIMPLE, TRACELOG_LEVEL_DEBUG, "%v"));
    const TraceLogHandle shared = m_handle;
    std::atomic<int> written{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([shared, &written] {
            // Runs until the handle goes dead under it.
            for (int i = 0;; ++i) {
                if (LOG_INFO(shared, "entry %06d complete", i) != 1) {
                    return;
                }
                written.fetch_add(1);
            }
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (written.load() < 200 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    close();
    for (auto& w : writers) {
        w.join();
    }
    const auto lines = readLines(m_dir / "race.log");
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(written.load()));
    for (const auto& line : lines) {
        ASSERT_TRUE(std::regex_match(line, std::regex(R"(entry \d{6} complete)"))) << line;
    }
}

}  // namespace
