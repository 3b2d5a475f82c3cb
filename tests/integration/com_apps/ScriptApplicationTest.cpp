// JScript applications under cscript drive both service objects through
// COM: created by ProgID, called late-bound, their events delivered into
// the script's own object.
#include <algorithm>
#include <string>

#include "ComApplicationSupport.h"
#include "schema/DeviceEntry.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace comapps {
namespace {

using namespace std::chrono_literals;

// A script that does not parse ends at once, exit code 0 and no output:
// only its last line tells it ran through.
constexpr const char* kFinished = "script finished";

ProgramRun cscript(const char* script, const std::string& device) {
    return runProgram(systemProgram("cscript.exe"),
                      {"//nologo", windowsPath(std::string(SCRIPT_DIR) + "/" + script), device});
}

// Whether `expected` stand in `lines` in this order (others between them).
::testing::AssertionResult inOrder(const ProgramRun& run, const std::vector<std::string>& expected) {
    auto from = run.lines.begin();
    for (const std::string& line : expected) {
        from = std::find(from, run.lines.end(), line);
        if (from == run.lines.end()) {
            return ::testing::AssertionFailure() << "\"" << line << "\" missing or out of order in\n" << run.text();
        }
    }
    return ::testing::AssertionSuccess();
}

// A write returns before the printer has read it: waits (5 s at most) until
// `pattern` arrived.
bool arrives(const testsupport::PrinterUnderTest& printer, const emulator::Bytes& pattern) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
        const emulator::Bytes bytes = printer.receivedBytes();
        if (std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end()) != bytes.end()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        printer.waitForReceived(bytes.size() + 1, 50ms);
    }
}

emulator::Bytes text(const std::string& s) { return emulator::Bytes(s.begin(), s.end()); }

using ScriptApplicationTest = ComApplicationTest;

// The printer's power report comes on the script's own thread while it
// enables; the job's OutputComplete later from the service object's event
// thread.
TEST_F(ScriptApplicationTest, PrintsAsynchronouslyAndReceivesItsEventsInTheScriptsObject) {
    testsupport::PrinterUnderTest& printer = addNetworkPrinter("A14", "RX-A14", "till");
    const ProgramRun run = cscript("printer.js", "RX-A14");
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(inOrder(run, {"OpenService 0", "ClaimDevice 0", "StatusUpdate 2001", "DeviceEnabled 1",
                              "PrintNormal 0", "OutputID 1", "PrintNormal 0", "OutputComplete 1", "ReleaseDevice 0",
                              "CloseService 0", kFinished}));
    EXPECT_TRUE(arrives(printer, text("from a script\n")));
    EXPECT_TRUE(arrives(printer, text("thank you\n")));
}

TEST_F(ScriptApplicationTest, OpensTheDrawerWaitsUntilItShutsAndReceivesItsStatus) {
    testsupport::PrinterUnderTest& printer = addNetworkPrinter("K93", "RX-K93", "till");
    printer.changeState([](emulator::PrinterState& state) { state.drawerClosesAfter = 1000ms; });
    schema::PortSettings settings;
    settings.port = printer.portSetting();
    schema::RegKey key;
    ASSERT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(schema::kCashDrawerClass, "RX-K93Drawer")),
              platform::ERROR_SUCCESS);
    ASSERT_EQ(schema::writeDrawerValues(key, schema::drawerValuesFor("RX-K93", settings, "cash", schema::OpenSignalLow,
                                                                     schema::DrawerPin2)),
              platform::ERROR_SUCCESS);

    const ProgramRun run = cscript("drawer.js", "RX-K93Drawer");
    ASSERT_TRUE(run.finished);
    // waitForDrawerClose returns once the drawer shut; the status the
    // enable queued reaches the script's object before the device goes.
    EXPECT_TRUE(inOrder(run, {"OpenService 0", "ClaimDevice 0", "DeviceEnabled 1", "OpenDrawer 0",
                              "WaitForDrawerClose 0", "CloseService 0", kFinished}));
    EXPECT_TRUE(inOrder(run, {"DeviceEnabled 1", "StatusUpdate 0", "CloseService 0"}));
    // The drawer opens while the script waits in waitForDrawerClose: the
    // status reaches the script then, not after the device is gone.
    EXPECT_TRUE(inOrder(run, {"OpenDrawer 0", "StatusUpdate 1", "WaitForDrawerClose 0"}));
    EXPECT_TRUE(arrives(printer, {0x10, 0x14, 0x01})) << "no drawer pulse";
    EXPECT_FALSE(printer.state().drawerOpen);
}

}  // namespace
}  // namespace comapps
