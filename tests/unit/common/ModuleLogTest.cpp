#include "common/ModuleLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/OposConstants.h"
#include "platform/registry.h"
#include "schema/RegistrySchema.h"
#include "support/TempRegistry.h"

namespace fs = std::filesystem;

namespace {

using namespace common;

// The install directory is the temporary registry's own folder: the uninstall
// entry points there and OPOSLog.ini and the log folders land there.
class ModuleLogTest : public ::testing::Test {
protected:
    void install() {
        const std::string uninstaller = "\"" + m_registry.directory() + "/unins000\"";
        platform::HKey key = nullptr;
        ASSERT_EQ(platform::regCreateKeyEx(platform::HKLM, schema::kUninstallKeyPath, platform::KEY_ALL_ACCESS, &key),
                  platform::ERROR_SUCCESS);
        ASSERT_EQ(platform::regSetValueEx(key, schema::kUninstallStringValue, platform::REG_SZ,
                                          reinterpret_cast<const platform::BYTE*>(uninstaller.c_str()),
                                          static_cast<platform::DWORD>(uninstaller.size() + 1)),
                  platform::ERROR_SUCCESS);
        platform::regCloseKey(key);
    }

    void writeSettings(const std::string& text) { std::ofstream(dir() / "OPOSLog.ini") << text; }

    fs::path dir() const { return m_registry.directory(); }

    std::vector<std::string> printerLines() const { return readLines(dir() / "Printerlog/PrinterRollback.log"); }

    static std::vector<std::string> readLines(const fs::path& path) {
        std::vector<std::string> lines;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    static constexpr const char* kDebugSimple =
        "[Printer_Log]\nlevel=Log_Level_Debug\nmode=Log_Mode_Simple\nformat=%l %v\n";

    testsupport::TempRegistry m_registry;
};

TEST_F(ModuleLogTest, SharedLogStaysOpenUntilTheLastInstanceGoes) {
    install();
    writeSettings(kDebugSimple);
    TraceLogHandle closed = 0;
    {
        auto first = std::make_unique<ModuleLog>(LogModule::Printer);
        ModuleLog second(LogModule::Printer);
        closed = first->handle();
        ASSERT_NE(closed, 0u);
        EXPECT_EQ(second.handle(), closed);
        first->debug("ClaimDevice(%d, 0x%02x)", 1000, 0);
        first.reset();
        second.debug("still logging %s", "after the first went");
    }
    EXPECT_EQ(LOG_INFO(closed, "through the closed handle"), 0);

    // The next instance opens the log afresh and appends to it.
    ModuleLog next(LogModule::Printer);
    EXPECT_NE(next.handle(), 0u);
    EXPECT_NE(next.handle(), closed);
    next.info("reopened");
    EXPECT_EQ(printerLines(), (std::vector<std::string>{"DEBUG ClaimDevice(1000, 0x00)",
                                                        "DEBUG still logging after the first went",
                                                        "INFO reopened"}));
}

TEST_F(ModuleLogTest, InstanceWithoutInstallDirectoryUsesAnotherInstancesLog) {
    ModuleLog early(LogModule::Printer);
    EXPECT_FALSE(early.installDirectory().has_value());
    EXPECT_EQ(early.handle(), 0u);
    EXPECT_EQ(early.bitmapLevel(), 8);
    early.error("written nowhere %d", 1);
    early.traceProperty(level::error, PIDX_ResultCode, 111);

    install();
    writeSettings(kDebugSimple);
    {
        ModuleLog later(LogModule::Printer);
        EXPECT_EQ(later.installDirectory(), std::optional<std::string>(dir().string() + "/"));
        EXPECT_NE(early.handle(), 0u);
    }
    // The instance that opened the log is gone; the one that could not is
    // still alive and keeps writing.
    early.error("through the shared log");
    EXPECT_EQ(printerLines(), std::vector<std::string>{"ERROR through the shared log"});
}

TEST_F(ModuleLogTest, EntriesBelowTheConfiguredLevelAreDropped) {
    install();
    writeSettings("[Printer_Log]\nlevel=Log_Level_Warn\nmode=Log_Mode_Simple\nformat=%l %v\n");
    ModuleLog log(LogModule::Printer);
    EXPECT_FALSE(log.debugEnabled());
    log.debug("d");
    log.info("i");
    log.notice("n");
    log.warn("w");
    log.error("e");
    log.crit("c");
    log.fatal("f");
    log.traceProperty(level::debug, PIDX_State, 2);
    log.traceProperty(level::warn, PIDX_State, 2);
    EXPECT_EQ(printerLines(),
              (std::vector<std::string>{"WARN w", "ERROR e", "CRIT c", "FATAL f", "WARN >State:OPOS_S_IDLE(0x02)"}));
}

TEST_F(ModuleLogTest, TraceLinesGoToTheCallersLevelAndOtherLevelsWriteNothing) {
    install();
    writeSettings("[Printer_Log]\nlevel=Log_Level_Trace\nmode=Log_Mode_Simple\nformat=%l %v\n");
    ModuleLog log(LogModule::Printer);
    EXPECT_TRUE(log.debugEnabled());
    for (int traceLevel = -1; traceLevel <= 10; ++traceLevel) {
        log.traceProperty(traceLevel, PIDX_Claimed, traceLevel == 1 ? 1 : 0);
    }
    log.traceProperty(level::debug, PIDX_CheckHealthText, 0, "External HCheck: Successful");
    EXPECT_EQ(printerLines(), (std::vector<std::string>{
                                  "DEBUG >Claimed:TRUE(0x01)",
                                  "INFO >Claimed:FALSE(0x00)",
                                  "NOTICE >Claimed:FALSE(0x00)",
                                  "WARN >Claimed:FALSE(0x00)",
                                  "ERROR >Claimed:FALSE(0x00)",
                                  "CRIT >Claimed:FALSE(0x00)",
                                  "FATAL >Claimed:FALSE(0x00)",
                                  "DEBUG >CheckHealthText:External HCheck: Successful",
                              }));
}

TEST_F(ModuleLogTest, PrinterAndCashKeepSeparateLogsAndSettings) {
    install();
    writeSettings(
        "[Printer_Log]\nlevel=Log_Level_Debug\nmode=Log_Mode_Simple\nformat=P %v\n"
        "[Cash_Log]\nlevel=Log_Level_Error\nmode=Log_Mode_Rollback\nformat=C %v\n"
        "[Bitmap]\nlevel=24\n");
    ModuleLog printer(LogModule::Printer);
    ModuleLog cash(LogModule::Cash);
    EXPECT_NE(printer.handle(), cash.handle());
    EXPECT_EQ(printer.bitmapLevel(), 24);
    printer.debug("to printer");
    cash.debug("filtered");
    cash.error("to cash");
    EXPECT_EQ(printerLines(), std::vector<std::string>{"P to printer"});
    EXPECT_EQ(readLines(dir() / "Cashlog/CashRollback.log"), std::vector<std::string>{"C to cash"});
}

}  // namespace
