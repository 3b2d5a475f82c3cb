// posctl, cvregsvr and the post-install script as programs: the fake service
// object module is registered with cvregsvr, a device entry points at it,
// and posctl runs scripts against it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "FakeServiceObject.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"
#include "support/TempRegistry.h"

using namespace std::chrono_literals;

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::vector<std::string> lines;
};

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args) {
    testsupport::ChildProcess child;
    ProgramRun run;
    if (!child.start(program, args)) {
        ADD_FAILURE() << "cannot start " << program;
        return run;
    }
    child.openGate();
    if (!child.finish(20s)) {
        ADD_FAILURE() << program << " did not finish";
        return run;
    }
    run.exitCode = child.exitCode();
    std::istringstream output(child.output());
    for (std::string line; std::getline(output, line);) {
        // A Windows program's text output ends its lines with CR LF.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        run.lines.push_back(line);
    }
    return run;
}

class PosctlTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ProgramRun registered = runProgram(CVREGSVR_PATH, {FAKE_SO_PATH});
        ASSERT_EQ(registered.exitCode, 0);
        ASSERT_EQ(registered.lines.size(), 1u);
        EXPECT_NE(registered.lines[0].find("succeeded"), std::string::npos);

        schema::RegKey device;
        ASSERT_EQ(device.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, "RX-A14")),
                  platform::ERROR_SUCCESS);
        ASSERT_EQ(device.writeString("", opostest::kPrinterProgId), platform::ERROR_SUCCESS);
        schema::RegKey classKey;
        ASSERT_EQ(classKey.create(platform::HKLM, schema::classKeyPath(schema::kPosPrinterClass)), platform::ERROR_SUCCESS);
        ASSERT_EQ(classKey.writeString("front", "RX-A14"), platform::ERROR_SUCCESS);
    }

    ProgramRun posctl(const std::string& script, std::vector<std::string> options = {}) {
        const std::string path = m_registry.directory() + "/script.txt";
        std::ofstream(path) << script;
        options.push_back(path);
        return runProgram(POSCTL_PATH, options);
    }

    testsupport::TempRegistry m_registry;
};

TEST_F(PosctlTest, RunsAWholeSessionAndReportsEveryStep) {
    const ProgramRun run = posctl(
        "# the life cycle of a printer\n"
        "open p POSPrinter front\n"
        "p ClaimDevice 1000\n"
        "p set DeviceEnabled 1\n"
        "wait p StatusUpdate 2001 1000\n"
        "p get DeviceEnabled\n"
        "p get DeviceName\n"
        "p PrintNormal 2 \"Total\\t12.50\\n\"\n"
        "p DirectIO 6 41 \"ab\"\n"
        "p get NoSuchProperty\n"
        "p set DeviceEnabled 0\n"
        "p ReleaseDevice\n"
        "close p\n"
        "p get State\n");
    EXPECT_EQ(run.exitCode, 2) << "one command was bad";
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             R"({"dev":"p","open":"front","rc":0,"openResult":0})",
                             R"({"dev":"p","call":"ClaimDevice","status":0,"rc":0})",
                             R"({"dev":"p","event":"StatusUpdate","data":2001})",
                             R"({"dev":"p","set":"DeviceEnabled","value":1,"rc":0})",
                             R"({"wait":"StatusUpdate","ok":true})",
                             R"({"dev":"p","get":"DeviceEnabled","value":1})",
                             R"({"dev":"p","get":"DeviceName","value":"RX-A14"})",
                             R"({"dev":"p","call":"PrintNormal","status":0,"rc":0})",
                             R"({"dev":"p","call":"DirectIO","status":0,"rc":0,"pData":42,"pString":"ba"})",
                             R"({"error":"no property NoSuchProperty for POSPrinter"})",
                             R"({"dev":"p","set":"DeviceEnabled","value":0,"rc":0})",
                             R"({"dev":"p","call":"ReleaseDevice","status":0,"rc":0})",
                             R"({"dev":"p","call":"Close","status":0,"rc":0})",
                             R"({"dev":"p","get":"State","value":1})",
                         }));

    const ProgramRun clean = posctl("open p POSPrinter RX-A14\np ClaimDevice 1\np ClaimDevice 1\nclose p\n");
    EXPECT_EQ(clean.exitCode, 0);
    ASSERT_EQ(clean.lines.size(), 4u);
    EXPECT_EQ(clean.lines[2], R"({"dev":"p","call":"ClaimDevice","status":1,"rc":0})");
}

TEST_F(PosctlTest, PrintsEventsAsTheyArriveAndWaitsForThem) {
    const ProgramRun run = posctl(
        "open p POSPrinter front\n"
        "p DirectIO 1 3 \"\"\n"
        "wait p StatusUpdate 3\n"
        "p answer-errors clear\n"
        "p DirectIO 2 203 \"\"\n"
        "wait p Error 114\n"
        "wait p StatusUpdate 3 50\n"
        "wait p OutputComplete * 50\n"
        "p CheckHealth 3\n"
        "p get CheckHealthText\n");
    EXPECT_EQ(run.exitCode, 0);
    auto position = [&](const std::string& line) {
        return std::ranges::find(run.lines, line) - run.lines.begin();
    };
    const auto first = position(R"({"dev":"p","event":"StatusUpdate","data":1})");
    const auto second = position(R"({"dev":"p","event":"StatusUpdate","data":2})");
    const auto third = position(R"({"dev":"p","event":"StatusUpdate","data":3})");
    const auto waited = position(R"({"wait":"StatusUpdate","ok":true})");
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_LT(third, waited);
    EXPECT_LT(waited, static_cast<long>(run.lines.size()));
    const auto error = position(R"({"dev":"p","event":"Error","rc":114,"ext":203,"locus":1,"response":12})");
    EXPECT_LT(waited, error);
    EXPECT_LT(error, position(R"({"wait":"Error","ok":true})"));
    EXPECT_EQ(std::ranges::count(run.lines, R"({"wait":"StatusUpdate","ok":false})"), 1)
        << "an event satisfies one wait only";
    EXPECT_EQ(std::ranges::count(run.lines, R"({"wait":"OutputComplete","ok":false})"), 1);
    ASSERT_GE(run.lines.size(), 2u);
    EXPECT_EQ(run.lines.back(), R"({"dev":"p","get":"CheckHealthText","value":"Interactive HCheck: Successful"})")
        << "without a terminal the check's dialog runs headless";
}

TEST_F(PosctlTest, OnRunsItsCommandOnceInsideTheHandlerOfTheMatchingEvent) {
    const ProgramRun run = posctl(
        "open p POSPrinter front\n"
        "on p StatusUpdate 2 p get DeviceName\n"
        "on p StatusUpdate * p get Claimed\n"
        "p DirectIO 1 3 \"\"\n"
        "wait p StatusUpdate 3\n"
        "on p Error * p get ResultCode\n"
        "p DirectIO 2 203 \"\"\n"
        "wait p Error 114\n");
    EXPECT_EQ(run.exitCode, 0);
    auto position = [&](const std::string& line) {
        return std::ranges::find(run.lines, line) - run.lines.begin();
    };
    const auto first = position(R"({"dev":"p","event":"StatusUpdate","data":1})");
    const auto second = position(R"({"dev":"p","event":"StatusUpdate","data":2})");
    const std::string name = R"({"dev":"p","get":"DeviceName","value":"RX-A14"})";
    const std::string claimed = R"({"dev":"p","get":"Claimed","value":0})";
    // Each action once, after the event that fired it: the wildcard one on
    // the first event, the other on the event with its value.
    EXPECT_EQ(std::ranges::count(run.lines, name), 1);
    EXPECT_EQ(std::ranges::count(run.lines, claimed), 1);
    EXPECT_LT(first, position(claimed));
    EXPECT_LT(second, position(name));
    const auto error = position(R"({"dev":"p","event":"Error","rc":114,"ext":203,"locus":1,"response":11})");
    EXPECT_LT(error, position(R"({"dev":"p","get":"ResultCode","value":0})"));
}

TEST_F(PosctlTest, TheRegistryOptionNamesTheStore) {
    const std::string store = m_registry.path();
    testsupport::TempRegistry elsewhere;
    const ProgramRun without = posctl("open p POSPrinter front\n");
    EXPECT_EQ(without.lines, std::vector<std::string>{R"({"dev":"p","open":"front","rc":109,"openResult":302})"});
    const ProgramRun with = posctl("open p POSPrinter front\n", {"--registry", store});
    EXPECT_EQ(with.lines, std::vector<std::string>{R"({"dev":"p","open":"front","rc":0,"openResult":0})"});
    EXPECT_EQ(posctl("", {"--bogus"}).exitCode, 2);
}

TEST_F(PosctlTest, CvregsvrUnregistersAndReportsFailures) {
    const ProgramRun removed = runProgram(CVREGSVR_PATH, {"/u", FAKE_SO_PATH});
    EXPECT_EQ(removed.exitCode, 0);
    EXPECT_EQ(posctl("open p POSPrinter front\n").lines,
              std::vector<std::string>{R"({"dev":"p","open":"front","rc":104,"openResult":303})"});

    EXPECT_EQ(runProgram(CVREGSVR_PATH, {m_registry.directory() + "/libmissing.so"}).exitCode, 1);
    EXPECT_EQ(runProgram(CVREGSVR_PATH, {}).exitCode, 2);
    EXPECT_EQ(runProgram(CVREGSVR_PATH, {"/u", "a", "b"}).exitCode, 2);
}

#if defined(_WIN32)
TEST(PostInstall, RegistersTheInstalledModulesAndRecordsTheDirectory) {
    GTEST_SKIP() << "the post-install script is the Linux install directory's step (a bash script over .so modules)";
}
#else
TEST(PostInstall, RegistersTheInstalledModulesAndRecordsTheDirectory) {
    testsupport::TempRegistry registry;
    namespace fs = std::filesystem;
    const fs::path directory = fs::path(registry.directory()) / "install dir";
    fs::create_directory(directory);
    fs::copy_file(CVREGSVR_PATH, directory / "cvregsvr");
    fs::copy_file(CVREG_PATH, directory / "cvreg");
    fs::copy_file(POST_INSTALL_PATH, directory / "post-install");
    // The fake module stands in for the printer's; the drawer's is not there.
    fs::copy_file(FAKE_SO_PATH, directory / "libreceiptso.so");
    const std::string installed = fs::canonical(directory).string();

    const ProgramRun run = runProgram("/bin/bash", {(directory / "post-install").string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(std::ranges::count(run.lines, "post-install: libdrawerso.so is not installed, skipped"), 1);

    std::string text;
    schema::RegKey key;
    ASSERT_EQ(key.open(platform::HKCR, std::string("CLSID\\") + opostest::kPrinterClsid + "\\InprocServer32",
                       platform::KEY_READ),
              platform::ERROR_SUCCESS);
    ASSERT_EQ(key.readString("", 1024, &text), platform::ERROR_SUCCESS);
    EXPECT_EQ(text, installed + "/libreceiptso.so");
    ASSERT_EQ(key.open(platform::HKLM, schema::kUninstallKeyPath, platform::KEY_READ), platform::ERROR_SUCCESS);
    ASSERT_EQ(key.readString(schema::kUninstallStringValue, 1024, &text), platform::ERROR_SUCCESS);
    EXPECT_EQ(text, "\"" + installed + "/uninstall\"");
}
#endif

}  // namespace
