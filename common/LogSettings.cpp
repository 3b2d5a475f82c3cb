#include "common/LogSettings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "common/InstallDirectory.h"

namespace common {
namespace {

constexpr std::array<std::pair<std::string_view, std::int32_t>, 8> kLevelNames = {{
    {"Log_Level_Trace", TRACELOG_LEVEL_TRACE},
    {"Log_Level_Debug", TRACELOG_LEVEL_DEBUG},
    {"Log_Level_Info", TRACELOG_LEVEL_INFO},
    {"Log_Level_Notice", TRACELOG_LEVEL_NOTICE},
    {"Log_Level_Warn", TRACELOG_LEVEL_WARN},
    {"Log_Level_Error", TRACELOG_LEVEL_ERROR},
    {"Log_Level_Crit", TRACELOG_LEVEL_CRIT},
    {"Log_Level_Fatal", TRACELOG_LEVEL_FATAL},
}};

constexpr std::array<std::pair<std::string_view, std::int32_t>, 3> kModeNames = {{
    {"Log_Mode_Simple", TRACELOG_MODE_SIMPLE},
    {"Log_Mode_Rollback", TRACELOG_MODE_ROLLBACK},
    {"Log_Mode_Date", TRACELOG_MODE_DATE},
}};

constexpr std::array<std::pair<std::string_view, int>, 4> kBitmapLevels = {{
    {"48", 48},
    {"16", 16},
    {"24", 24},
    {"8", 8},
}};

template <typename Table, typename Value>
Value firstFound(std::string_view text, const Table& table, Value otherwise) {
    for (const auto& [name, value] : table) {
        if (text.find(name) != std::string_view::npos) {
            return value;
        }
    }
    return otherwise;
}

}  // namespace

const char* logSectionName(LogModule module) {
    return module == LogModule::Printer ? "Printer_Log" : "Cash_Log";
}

std::string logFileRelativePath(LogModule module) {
    return module == LogModule::Printer ? std::string("Printerlog") + kPathSeparator + "PrinterRollback.log"
                                        : std::string("Cashlog") + kPathSeparator + "CashRollback.log";
}

std::int32_t parseLogLevel(std::string_view text) {
    return firstFound(text, kLevelNames, std::int32_t{TRACELOG_LEVEL_DISABLE});
}

std::int32_t parseLogMode(std::string_view text) {
    return firstFound(text, kModeNames, std::int32_t{TRACELOG_MODE_ROLLBACK});
}

std::int32_t parseCappedNumber(std::string_view text, std::int32_t cap) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Stop accumulating once past the cap: the rest cannot bring it back.
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), cap);
    }
    return negative ? 0 : static_cast<std::int32_t>(value);
}

int parseBitmapLevel(std::string_view text) {
    return firstFound(text, kBitmapLevels, 8);
}

int readBitmapLevel(const ProfileFile& settings) {
    return parseBitmapLevel(settings.value("Bitmap", "level"));
}

bool buildLogConfig(LogModule module, const std::string& installDirectory, const ProfileFile& settings,
                    TraceLogConfig& config) {
    config = TraceLogConfig{};
    const std::string path = installDirectory + logFileRelativePath(module);
    if (path.size() >= sizeof config.log_file_path) {
        return false;
    }
    std::memcpy(config.log_file_path, path.data(), path.size());

    const char* section = logSectionName(module);
    config.mode = parseLogMode(settings.value(section, "mode"));
    config.level = parseLogLevel(settings.value(section, "level"));
    config.max_file_size = parseCappedNumber(settings.value(section, "max_file_size"), kMaxFileSizeCap);
    config.max_backup_index = parseCappedNumber(settings.value(section, "max_backup_index"), kMaxBackupIndexCap);
    config.flush_size = parseCappedNumber(settings.value(section, "flush_size"), kFlushSizeCap);
    const std::string format = settings.value(section, "format");
    std::memcpy(config.format, format.data(), std::min(format.size(), sizeof config.format));
    return true;
}

}  // namespace common
