#pragma once
// The log settings of a service object module: which part of "OPOSLog.ini"
// it reads, how the texts there become the logging library's configuration
// record, and the bitmap dot mode kept in the same file.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/ProfileFile.h"
#include "tracelog/tracelog.h"

namespace common {

// The two service object modules; each has its own log.
enum class LogModule { Printer, Cash };

inline constexpr const char* kSettingsFileName = "OPOSLog.ini";
inline constexpr std::int32_t kMaxFileSizeCap = 0x1400000;
inline constexpr std::int32_t kMaxBackupIndexCap = 99;
inline constexpr std::int32_t kFlushSizeCap = 1024;

// "Printer_Log" or "Cash_Log".
const char* logSectionName(LogModule module);
// The log file below the install directory: "Printerlog/PrinterRollback.log"
// or "Cashlog/CashRollback.log".
std::string logFileRelativePath(LogModule module);

// "Log_Level_Trace" 1 ... "Log_Level_Fatal" 8: the first of the eight names,
// in that order, found anywhere in `text` (case counts) wins; anything else
// is 9, logging disabled.
std::int32_t parseLogLevel(std::string_view text);

// "Log_Mode_Simple" 1, else "Log_Mode_Rollback" 2, else "Log_Mode_Date" 3,
// each found anywhere in `text`; anything else is 2.
std::int32_t parseLogMode(std::string_view text);

// A decimal integer with optional leading blanks and sign, read up to the
// first other character; a value at or above `cap` becomes `cap`. No digits
// (a missing key) and negative values give 0.
std::int32_t parseCappedNumber(std::string_view text, std::int32_t cap);

// Bitmap dot mode: "48", "16", "24" and "8" are looked for in that order and
// the first found gives 48, 16, 24 or 8; anything else is 8.
int parseBitmapLevel(std::string_view text);

// The bitmap dot mode from section "Bitmap", key "level".
int readBitmapLevel(const ProfileFile& settings);

// Fills `config` from the module's section of `settings`, with the log file
// in `installDirectory`. The format text is copied into its 64-byte field
// and cut there (the field is then not terminated; the library reads no
// further). False, with `config` cleared, when the log file path does not
// fit its 260-byte field with its terminator: a cut path would name some
// other file.
bool buildLogConfig(LogModule module, const std::string& installDirectory, const ProfileFile& settings,
                    TraceLogConfig& config);

}  // namespace common
