#pragma once
// The diagnostic log of a service object module. Every service object
// instance holds a ModuleLog for its module; all instances of one module in
// a process write to one shared log.
//
// Life of the shared log: the first instance whose construction finds the
// install directory reads the settings and opens the log; instances that
// cannot find it write through the log another instance opened, or nowhere.
// The log stays open while any instance of the module lives and is closed
// with the last one; the next instance opens it again with fresh settings.
// (Closing it with every instance, as a bare LOG_MODULE_DESTORY in each
// destructor would, silenced the instances still alive.)
//
// A service object holds its ModuleLog as its first member: the log is then
// ready for the rest of construction and closed only after everything else,
// the resource queues included, has been released.
//
// Thread safety: all members may be called from any thread. Writing never
// blocks on construction or destruction of other instances, and an entry
// racing the close of the log is written whole or not at all.
#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/LogSettings.h"
#include "tracelog/tracelog.h"

namespace common {

// Levels a property trace line is written at. 7 has no writer and, like
// any other unlisted value, writes nothing.
namespace level {
inline constexpr int debug = 1;
inline constexpr int info = 2;
inline constexpr int notice = 3;
inline constexpr int warn = 4;
inline constexpr int error = 5;
inline constexpr int crit = 6;
inline constexpr int fatal = 8;
}  // namespace level

class ModuleLog {
public:
    // Reads the install directory and, when found, "OPOSLog.ini" in it; opens
    // the module's shared log unless it is open already.
    explicit ModuleLog(LogModule module);
    ~ModuleLog();
    ModuleLog(const ModuleLog&) = delete;
    ModuleLog& operator=(const ModuleLog&) = delete;

    // The install directory as found at construction; empty when the
    // uninstall entry could not be read.
    const std::optional<std::string>& installDirectory() const { return m_installDirectory; }

    // The bitmap dot mode read at construction (8 without settings).
    int bitmapLevel() const { return m_bitmapLevel; }

    // The module's shared handle; 0 while no log is open.
    TraceLogHandle handle() const;

    // Whether a debug() entry would be written now; hot paths ask before
    // they build the arguments of a line nobody will read.
    bool debugEnabled() const;

    // printf-style entries at the level of the name; the text is cut at
    // TRACELOG_MAX_MESSAGE bytes.
    void debug(const char* format, ...) const TRACELOG_PRINTF(2, 3);
    void info(const char* format, ...) const TRACELOG_PRINTF(2, 3);
    void notice(const char* format, ...) const TRACELOG_PRINTF(2, 3);
    void warn(const char* format, ...) const TRACELOG_PRINTF(2, 3);
    void error(const char* format, ...) const TRACELOG_PRINTF(2, 3);
    void crit(const char* format, ...) const TRACELOG_PRINTF(2, 3);
    void fatal(const char* format, ...) const TRACELOG_PRINTF(2, 3);

    // Writes ">" + propertyTraceText(item, number, text) at `traceLevel`
    // (one of the `level` constants; any other value writes nothing).
    void traceProperty(int traceLevel, std::int32_t item, std::int32_t number, std::string_view text = {}) const;

private:
    struct Shared;
    static Shared& sharedOf(LogModule module);
    void write(int entryLevel, const char* format, va_list args) const;

    Shared& m_shared;
    std::optional<std::string> m_installDirectory;
    int m_bitmapLevel = 8;
};

}  // namespace common
