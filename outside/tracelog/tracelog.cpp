#include "tracelog/tracelog.h"

#include <spdlog/details/log_msg.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tracelog {
namespace {

constexpr std::int32_t kDefaultMaxFileSize = 10 * 1024 * 1024;
constexpr std::int32_t kDefaultMaxBackupIndex = 5;
// spdlog refuses to rotate through more names than this.
constexpr std::int32_t kMaxBackupIndexLimit = 200000;
constexpr const char* kDefaultPattern = "[%Y-%m-%d %H:%M:%S.%e] [%t] [%l] %v";

// Indexed by entry level; spdlog has no notice or fatal level of its own.
constexpr const char* kLevelNames[] = {"", "TRACE", "DEBUG", "INFO", "NOTICE",
                                       "WARN", "ERROR", "CRIT", "FATAL"};
constexpr spdlog::level::level_enum kSpdlogLevels[] = {
    spdlog::level::trace, spdlog::level::trace, spdlog::level::debug,
    spdlog::level::info,  spdlog::level::info,  spdlog::level::warn,
    spdlog::level::err,   spdlog::level::critical, spdlog::level::critical};

// An entry carries its level name in the log message's logger-name slot (a
// module writes straight to its sink, so the slot is free): these two flags
// print it in place of spdlog's own names, which cannot tell notice from
// info or fatal from critical.
class LevelNameFlag final : public spdlog::custom_flag_formatter {
public:
    void format(const spdlog::details::log_msg& msg, const std::tm&,
                spdlog::memory_buf_t& dest) override {
        dest.append(msg.logger_name.data(), msg.logger_name.data() + msg.logger_name.size());
    }
    std::unique_ptr<custom_flag_formatter> clone() const override {
        return std::make_unique<LevelNameFlag>();
    }
};

class LevelLetterFlag final : public spdlog::custom_flag_formatter {
public:
    void format(const spdlog::details::log_msg& msg, const std::tm&,
                spdlog::memory_buf_t& dest) override {
        if (msg.logger_name.size() > 0) {
            dest.push_back(msg.logger_name.data()[0]);
        }
    }
    std::unique_ptr<custom_flag_formatter> clone() const override {
        return std::make_unique<LevelLetterFlag>();
    }
};

struct Module {
    int level = TRACELOG_LEVEL_DISABLE;
    std::uint32_t flushSize = 0;
    std::shared_ptr<spdlog::sinks::sink> sink;  // null while disabled
    std::atomic<std::uint32_t> unflushed{0};

    ~Module() {
        if (sink) {
            try {
                sink->flush();
            } catch (...) {
                // Nothing is left to report a failed last flush to.
            }
        }
    }
};

class ModuleTable {
public:
    TraceLogHandle add(std::shared_ptr<Module> module) {
        std::unique_lock lock(m_mutex);
        const TraceLogHandle handle = m_next++;
        m_modules.emplace(handle, std::move(module));
        return handle;
    }

    std::shared_ptr<Module> find(TraceLogHandle handle) {
        if (handle == 0) {
            return nullptr;
        }
        std::shared_lock lock(m_mutex);
        auto it = m_modules.find(handle);
        return it == m_modules.end() ? nullptr : it->second;
    }

    std::shared_ptr<Module> remove(TraceLogHandle handle) {
        std::unique_lock lock(m_mutex);
        auto it = m_modules.find(handle);
        if (it == m_modules.end()) {
            return nullptr;
        }
        auto module = std::move(it->second);
        m_modules.erase(it);
        return module;
    }

private:
    std::shared_mutex m_mutex;
    std::unordered_map<TraceLogHandle, std::shared_ptr<Module>> m_modules;
    // Handles are never reused, so a stale copy cannot reach a newer module.
    TraceLogHandle m_next = 1;
};

// Never destroyed: worker threads of a module that was not shut down may
// still log while the process runs its exit handlers. Open files are flushed
// by the C library at exit.
ModuleTable& modules() {
    static ModuleTable* table = new ModuleTable;
    return *table;
}

std::shared_ptr<spdlog::sinks::sink> makeSink(const TraceLogConfig& config, const std::string& path) {
    switch (config.mode) {
    case TRACELOG_MODE_SIMPLE:
        return std::make_shared<spdlog::sinks::basic_file_sink_mt>(path);
    case TRACELOG_MODE_DATE: {
        const auto keep = static_cast<std::uint16_t>(std::clamp<std::int32_t>(config.max_backup_index, 0, 0xFFFF));
        return std::make_shared<spdlog::sinks::daily_file_sink_mt>(path, 0, 0, false, keep);
    }
    default: {
        const std::int32_t size = config.max_file_size > 0 ? config.max_file_size : kDefaultMaxFileSize;
        const std::int32_t backups = config.max_backup_index > 0
                                         ? std::min(config.max_backup_index, kMaxBackupIndexLimit)
                                         : kDefaultMaxBackupIndex;
        return std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            path, static_cast<std::size_t>(size), static_cast<std::size_t>(backups));
    }
    }
}

std::unique_ptr<spdlog::pattern_formatter> makeFormatter(const TraceLogConfig& config) {
    // The field is fixed-size and its writer may have filled it to the last
    // byte without a terminator.
    std::string pattern(config.format, strnlen(config.format, sizeof config.format));
    if (pattern.empty()) {
        pattern = kDefaultPattern;
    }
    auto formatter = std::make_unique<spdlog::pattern_formatter>();
    formatter->add_flag<LevelNameFlag>('l').add_flag<LevelLetterFlag>('L').set_pattern(pattern);
    return formatter;
}

int writeEntry(TraceLogHandle handle, int level, const char* format, va_list args) {
    if (format == nullptr) {
        return 0;
    }
    try {
        const auto module = modules().find(handle);
        if (!module || !module->sink || level < module->level) {
            return 0;
        }
        char text[TRACELOG_MAX_MESSAGE + 1];
        const int length = std::vsnprintf(text, sizeof text, format, args);
        if (length < 0) {
            return -1;
        }
        const auto used = std::min(static_cast<std::size_t>(length), sizeof text - 1);
        const spdlog::details::log_msg msg(kLevelNames[level], kSpdlogLevels[level],
                                           spdlog::string_view_t(text, used));
        module->sink->log(msg);
        if (level >= TRACELOG_LEVEL_ERROR || module->flushSize <= 1 ||
            (module->unflushed.fetch_add(1, std::memory_order_relaxed) + 1) % module->flushSize == 0) {
            module->sink->flush();
        }
        return 1;
    } catch (...) {
        return -1;
    }
}

}  // namespace
}  // namespace tracelog

extern "C" {

int LOG_MODULE_INIT_Ex(const TraceLogConfig* config, TraceLogHandle* handle) {
    if (handle == nullptr) {
        return TRACELOG_E_PARAMETER;
    }
    *handle = 0;
    if (config == nullptr) {
        return TRACELOG_E_PARAMETER;
    }
    const std::string path(config->log_file_path, strnlen(config->log_file_path, sizeof config->log_file_path));
    if (path.empty()) {
        return TRACELOG_E_PARAMETER;
    }
    try {
        auto module = std::make_shared<tracelog::Module>();
        module->level = std::clamp<std::int32_t>(config->level, TRACELOG_LEVEL_TRACE, TRACELOG_LEVEL_DISABLE);
        module->flushSize = static_cast<std::uint32_t>(std::max<std::int32_t>(config->flush_size, 0));
        if (module->level < TRACELOG_LEVEL_DISABLE) {
            module->sink = tracelog::makeSink(*config, path);
            module->sink->set_formatter(tracelog::makeFormatter(*config));
        }
        *handle = tracelog::modules().add(std::move(module));
        return TRACELOG_OK;
    } catch (...) {
        return TRACELOG_E_OPEN;
    }
}

int LOG_MODULE_DESTORY(TraceLogHandle* handle) {
    if (handle == nullptr) {
        return TRACELOG_E_PARAMETER;
    }
    const TraceLogHandle value = *handle;
    *handle = 0;
    try {
        // The module closes when the last writer still holding it lets go,
        // outside the table lock.
        return tracelog::modules().remove(value) ? TRACELOG_OK : TRACELOG_E_HANDLE;
    } catch (...) {
        return TRACELOG_E_HANDLE;
    }
}

#define TRACELOG_DEFINE_WRITER(name, level)                                  \
    int name(TraceLogHandle handle, const char* format, ...) {                \
        va_list args;                                                         \
        va_start(args, format);                                               \
        const int result = tracelog::writeEntry(handle, level, format, args); \
        va_end(args);                                                         \
        return result;                                                        \
    }

TRACELOG_DEFINE_WRITER(LOG_DEBUG, TRACELOG_LEVEL_DEBUG)
TRACELOG_DEFINE_WRITER(LOG_INFO, TRACELOG_LEVEL_INFO)
TRACELOG_DEFINE_WRITER(LOG_NOTICE, TRACELOG_LEVEL_NOTICE)
TRACELOG_DEFINE_WRITER(LOG_WARN, TRACELOG_LEVEL_WARN)
TRACELOG_DEFINE_WRITER(LOG_ERROR, TRACELOG_LEVEL_ERROR)
TRACELOG_DEFINE_WRITER(LOG_CRIT, TRACELOG_LEVEL_CRIT)
TRACELOG_DEFINE_WRITER(LOG_FATAL, TRACELOG_LEVEL_FATAL)

}  // extern "C"
