#include "common/LogSettings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace common;

TEST(ProfileFileTest, FindsSectionsAndKeysLikeThePrivateProfileReader) {
    const auto file = ProfileFile::parse(
        "\xEF\xBB\xBF"
        "orphan=before any section\r\n"
        "; level=Log_Level_Fatal\r\n"
        "[ printer_log ]\r\n"
        "  LEVEL =  Log_Level_Debug  \r\n"
        "format=\"%l %v \"\r\n"
        "mode=Log_Mode_Date\r\n"
        "mode=Log_Mode_Simple\r\n"
        "no equals sign here\r\n"
        "empty=\r\n"
        "[Printer_Log]\r\n"
        "flush_size=12\r\n"
        "[Cash_Log]\n"
        "level=Log_Level_Error");
    EXPECT_EQ(file.value("Printer_Log", "level"), "Log_Level_Debug");
    EXPECT_EQ(file.value("PRINTER_LOG", "Format"), "%l %v ");
    EXPECT_EQ(file.value("Printer_Log", "mode"), "Log_Mode_Date");
    EXPECT_EQ(file.value("Printer_Log", "empty"), "");
    // The first of two same-named sections is the one read.
    EXPECT_EQ(file.value("Printer_Log", "flush_size"), "");
    EXPECT_EQ(file.value("Cash_Log", "level"), "Log_Level_Error");
    EXPECT_EQ(file.value("Cash_Log", "mode"), "");
    EXPECT_EQ(file.value("Bitmap", "level"), "");
    EXPECT_EQ(file.value("", "orphan"), "");
}

TEST(ProfileFileTest, CutsValuesToTheirBufferAndReadsAMissingFileAsEmpty) {
    const std::string longValue(400, 'v');
    const auto file = ProfileFile::parse("[S]\nk=" + longValue + "\n");
    EXPECT_EQ(file.value("S", "k"), std::string(ProfileFile::kValueSize - 1, 'v'));

    EXPECT_EQ(ProfileFile::load("/nonexistent/cvopos/OPOSLog.ini").value("S", "k"), "");
}

TEST(LogSettingsTest, LevelTextFirstListedNameFoundWins) {
    const struct {
        const char* text;
        std::int32_t level;
    } cases[] = {
        {"Log_Level_Trace", 1},  {"Log_Level_Debug", 2}, {"Log_Level_Info", 3},
        {"Log_Level_Notice", 4}, {"Log_Level_Warn", 5},  {"Log_Level_Error", 6},
        {"Log_Level_Crit", 7},   {"Log_Level_Fatal", 8}, {"Log_Level_Disable", 9},
        {"", 9},                 {"log_level_debug", 9}, {"Log_Level_Warning", 5},
        {"xxLog_Level_Errorxx", 6},
        // Both present: the one listed first wins, whatever the text's order.
        {"Log_Level_Fatal Log_Level_Info", 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseLogLevel(c.text), c.level) << c.text;
    }
}

TEST(LogSettingsTest, ModeTextDefaultsToRollback) {
    EXPECT_EQ(parseLogMode("Log_Mode_Simple"), TRACELOG_MODE_SIMPLE);
    EXPECT_EQ(parseLogMode("Log_Mode_Rollback"), TRACELOG_MODE_ROLLBACK);
    EXPECT_EQ(parseLogMode("Log_Mode_Date"), TRACELOG_MODE_DATE);
    EXPECT_EQ(parseLogMode("Log_Mode_Date,Log_Mode_Simple"), TRACELOG_MODE_SIMPLE);
    EXPECT_EQ(parseLogMode(""), TRACELOG_MODE_ROLLBACK);
    EXPECT_EQ(parseLogMode("Simple"), TRACELOG_MODE_ROLLBACK);
}

TEST(LogSettingsTest, SizesAreCappedAndDefaultToZero) {
    const struct {
        const char* text;
        std::int32_t cap;
        std::int32_t value;
    } cases[] = {
        {"", kMaxFileSizeCap, 0},
        {"abc", kMaxFileSizeCap, 0},
        {"4096", kMaxFileSizeCap, 4096},
        {" 12kB", kMaxFileSizeCap, 12},
        {"20971519", kMaxFileSizeCap, 20971519},
        {"20971520", kMaxFileSizeCap, 0x1400000},
        {"99999999999999999999", kMaxFileSizeCap, 0x1400000},
        {"-5", kMaxFileSizeCap, 0},
        {"98", kMaxBackupIndexCap, 98},
        {"99", kMaxBackupIndexCap, 99},
        {"100", kMaxBackupIndexCap, 99},
        {"1023", kFlushSizeCap, 1023},
        {"5000", kFlushSizeCap, 1024},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseCappedNumber(c.text, c.cap), c.value) << c.text;
    }
}

TEST(LogSettingsTest, BitmapLevelTestsFortyEightSixteenTwentyFourEightInOrder) {
    const struct {
        const char* text;
        int level;
    } cases[] = {
        {"48", 48}, {"16", 16}, {"24", 24}, {"8", 8},   {"16 48", 48}, {"24 16", 16},
        {"28", 8},  {"248", 48}, {"124", 24}, {"", 8},  {"32", 8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseBitmapLevel(c.text), c.level) << c.text;
    }
    EXPECT_EQ(readBitmapLevel(ProfileFile::parse("[bitmap]\nLevel=24\n")), 24);
}

TEST(LogSettingsTest, BuildsTheRecordFromTheModulesOwnSection) {
    const auto settings = ProfileFile::parse(
        "[Printer_Log]\nlevel=Log_Level_Debug\nmode=Log_Mode_Simple\nmax_file_size=30000000\n"
        "max_backup_index=7\nflush_size=16\nformat=%l %v\n"
        "[Cash_Log]\nlevel=Log_Level_Error\nmode=Log_Mode_Date\n");
    TraceLogConfig printer{};
    ASSERT_TRUE(buildLogConfig(LogModule::Printer, "/opt/cvopos/", settings, printer));
    EXPECT_STREQ(printer.log_file_path, "/opt/cvopos/Printerlog/PrinterRollback.log");
    EXPECT_EQ(printer.mode, TRACELOG_MODE_SIMPLE);
    EXPECT_EQ(printer.level, TRACELOG_LEVEL_DEBUG);
    EXPECT_EQ(printer.max_file_size, 0x1400000);
    EXPECT_EQ(printer.max_backup_index, 7);
    EXPECT_EQ(printer.flush_size, 16);
    EXPECT_STREQ(printer.format, "%l %v");

    TraceLogConfig cash{};
    ASSERT_TRUE(buildLogConfig(LogModule::Cash, "/opt/cvopos/", settings, cash));
    EXPECT_STREQ(cash.log_file_path, "/opt/cvopos/Cashlog/CashRollback.log");
    EXPECT_EQ(cash.mode, TRACELOG_MODE_DATE);
    EXPECT_EQ(cash.level, TRACELOG_LEVEL_ERROR);
    EXPECT_EQ(cash.max_file_size, 0);
    EXPECT_EQ(cash.max_backup_index, 0);
    EXPECT_EQ(cash.flush_size, 0);
    EXPECT_STREQ(cash.format, "");
}

TEST(LogSettingsTest, MissingSettingsDisableLoggingInRollbackMode) {
    TraceLogConfig config{};
    ASSERT_TRUE(buildLogConfig(LogModule::Printer, "/opt/cvopos/", ProfileFile{}, config));
    EXPECT_EQ(config.level, TRACELOG_LEVEL_DISABLE);
    EXPECT_EQ(config.mode, TRACELOG_MODE_ROLLBACK);
    EXPECT_EQ(config.max_file_size, 0);
}

TEST(LogSettingsTest, OverlongFormatFillsItsFieldAndNoFurther) {
    struct {
        TraceLogConfig config;
        char after[8];
    } record{};
    std::memset(record.after, 'Z', sizeof record.after);
    const std::string format(100, 'f');
    ASSERT_TRUE(buildLogConfig(LogModule::Cash, "/i/", ProfileFile::parse("[Cash_Log]\nformat=" + format),
                               record.config));
    EXPECT_EQ(std::string(record.config.format, sizeof record.config.format), format.substr(0, 64));
    EXPECT_EQ(std::string(record.after, sizeof record.after), std::string(8, 'Z'));
}

TEST(LogSettingsTest, RefusesALogPathThatDoesNotFitItsField) {
    const std::string relative = logFileRelativePath(LogModule::Printer);
    const std::string fits = "/" + std::string(TRACELOG_PATH_SIZE - 3 - relative.size(), 'd') + "/";
    TraceLogConfig config{};
    ASSERT_TRUE(buildLogConfig(LogModule::Printer, fits, ProfileFile{}, config));
    EXPECT_EQ(std::strlen(config.log_file_path), TRACELOG_PATH_SIZE - 1u);

    config.level = 1234;
    EXPECT_FALSE(buildLogConfig(LogModule::Printer, fits + "x/", ProfileFile{}, config));
    EXPECT_EQ(config.level, 0);
    EXPECT_EQ(config.log_file_path[0], '\0');
}

}  // namespace
