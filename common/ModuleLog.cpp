#include "common/ModuleLog.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "common/InstallDirectory.h"
#include "common/PropertyTexts.h"

namespace common {

struct ModuleLog::Shared {
    // Held while opening and closing, never while writing.
    std::mutex mutex;
    int users = 0;
    std::atomic<TraceLogHandle> handle{0};
    // The open log's level, so that filtered entries are not formatted.
    std::atomic<int> level{TRACELOG_LEVEL_DISABLE};
};

namespace {

using Writer = int (*)(TraceLogHandle, const char*, ...);

// Indexed by the library's entry level.
constexpr Writer kWriters[] = {nullptr,  nullptr,   LOG_DEBUG, LOG_INFO, LOG_NOTICE,
                               LOG_WARN, LOG_ERROR, LOG_CRIT,  LOG_FATAL};

// A property trace level to the library's entry level; 0 for none.
int entryLevelOf(int traceLevel) {
    switch (traceLevel) {
    case level::debug:
        return TRACELOG_LEVEL_DEBUG;
    case level::info:
        return TRACELOG_LEVEL_INFO;
    case level::notice:
        return TRACELOG_LEVEL_NOTICE;
    case level::warn:
        return TRACELOG_LEVEL_WARN;
    case level::error:
        return TRACELOG_LEVEL_ERROR;
    case level::crit:
        return TRACELOG_LEVEL_CRIT;
    case level::fatal:
        return TRACELOG_LEVEL_FATAL;
    default:
        return 0;
    }
}

}  // namespace

ModuleLog::Shared& ModuleLog::sharedOf(LogModule module) {
    static Shared printer;
    static Shared cash;
    return module == LogModule::Printer ? printer : cash;
}

ModuleLog::ModuleLog(LogModule module) : m_shared(sharedOf(module)), m_installDirectory(readInstallDirectory()) {
    TraceLogConfig config{};
    bool haveConfig = false;
    if (m_installDirectory) {
        const auto settings = ProfileFile::load(*m_installDirectory + kSettingsFileName);
        m_bitmapLevel = readBitmapLevel(settings);
        haveConfig = buildLogConfig(module, *m_installDirectory, settings, config);
    }

    std::lock_guard lock(m_shared.mutex);
    ++m_shared.users;
    if (haveConfig && m_shared.handle.load() == 0) {
        TraceLogHandle handle = 0;
        LOG_MODULE_INIT_Ex(&config, &handle);
        // The level goes first: a writer that sees the handle must not skip
        // entries by the closed log's level.
        m_shared.level.store(config.level);
        m_shared.handle.store(handle);
    }
}

ModuleLog::~ModuleLog() {
    std::lock_guard lock(m_shared.mutex);
    if (--m_shared.users == 0) {
        TraceLogHandle handle = m_shared.handle.exchange(0);
        m_shared.level.store(TRACELOG_LEVEL_DISABLE);
        if (handle != 0) {
            LOG_MODULE_DESTORY(&handle);
        }
    }
}

TraceLogHandle ModuleLog::handle() const {
    return m_shared.handle.load();
}

bool ModuleLog::debugEnabled() const {
    return m_shared.handle.load() != 0 && TRACELOG_LEVEL_DEBUG >= m_shared.level.load();
}

void ModuleLog::write(int entryLevel, const char* format, va_list args) const {
    const TraceLogHandle handle = m_shared.handle.load();
    if (handle == 0 || format == nullptr || entryLevel < m_shared.level.load()) {
        return;
    }
    char text[TRACELOG_MAX_MESSAGE + 1];
    if (std::vsnprintf(text, sizeof text, format, args) < 0) {
        return;
    }
    kWriters[entryLevel](handle, "%s", text);
}

#define MODULE_LOG_DEFINE_WRITER(name, entryLevel)          \
    void ModuleLog::name(const char* format, ...) const {   \
        va_list args;                                       \
        va_start(args, format);                             \
        write(entryLevel, format, args);                    \
        va_end(args);                                       \
    }

MODULE_LOG_DEFINE_WRITER(debug, TRACELOG_LEVEL_DEBUG)
MODULE_LOG_DEFINE_WRITER(info, TRACELOG_LEVEL_INFO)
MODULE_LOG_DEFINE_WRITER(notice, TRACELOG_LEVEL_NOTICE)
MODULE_LOG_DEFINE_WRITER(warn, TRACELOG_LEVEL_WARN)
MODULE_LOG_DEFINE_WRITER(error, TRACELOG_LEVEL_ERROR)
MODULE_LOG_DEFINE_WRITER(crit, TRACELOG_LEVEL_CRIT)
MODULE_LOG_DEFINE_WRITER(fatal, TRACELOG_LEVEL_FATAL)

void ModuleLog::traceProperty(int traceLevel, std::int32_t item, std::int32_t number, std::string_view text) const {
    const int entryLevel = entryLevelOf(traceLevel);
    const TraceLogHandle handle = m_shared.handle.load();
    if (entryLevel == 0 || handle == 0 || entryLevel < m_shared.level.load()) {
        return;
    }
    kWriters[entryLevel](handle, ">%s", propertyTraceText(item, number, text).c_str());
}

}  // namespace common
