// posctl.exe prints the demo's receipt through the control object, which
// makes the printer service object through COM: the private registry holds
// the device entries only, so the suite's own way to the module would fail.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ComApplicationSupport.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace comapps {
namespace {

using namespace std::chrono_literals;

// The demo's receipt script, its picture put in where the demo has one.
std::string receiptScript() {
    std::ifstream file(DEMO_RECEIPT_SCRIPT);
    std::ostringstream text;
    text << file.rdbuf();
    std::string script = text.str();
    const std::string marker = "@PICTURE@";
    const std::size_t at = script.find(marker);
    if (at == std::string::npos) {
        return script;
    }
    if (std::filesystem::exists(DEMO_PICTURE)) {
        // A backslash starts an escape in posctl's strings.
        std::string picture;
        for (char c : windowsPath(DEMO_PICTURE)) {
            picture += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        return script.replace(at, marker.size(), picture);
    }
    const std::size_t begin = script.rfind('\n', at) + 1;
    return script.erase(begin, script.find('\n', at) + 1 - begin);
}

using PosctlComTest = ComApplicationTest;

TEST_F(PosctlComTest, PrintsTheDemoReceiptAsTheLinuxDemoDoes) {
    testsupport::PrinterUnderTest& printer = addNetworkPrinter("A14", "RX-A14", "demo");
    const std::string script = receiptScript();
    ASSERT_NE(script.find("open p POSPrinter demo"), std::string::npos) << "the demo's script was not found";
    // The image libraries beside the service object, found through the
    // install's uninstall entry as the demo records it.
    schema::RegKey install;
    ASSERT_EQ(install.create(platform::HKLM, schema::kUninstallKeyPath), platform::ERROR_SUCCESS);
    ASSERT_EQ(install.writeString(schema::kUninstallStringValue, std::string(IMAGING_LIBRARY_DIR) + "unins000.exe"),
              platform::ERROR_SUCCESS);
    const std::string path = directory() + "/receipt.posctl";
    std::ofstream(path) << script;

    const ProgramRun run = runProgram(POSCTL_PATH, {path});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.text();
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front(), R"({"dev":"p","open":"demo","rc":0,"openResult":0})");
    for (const std::string& line : run.lines) {
        EXPECT_EQ(line.find(R"("rc":)"), line.find(R"("rc":0)")) << "a call failed: " << line;
    }

    // The paper is cut last; the synchronous prints have been written, not
    // necessarily read by the printer.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    std::string transcript = printer.transcript();
    while (transcript.find("[cut") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        printer.waitForReceived(printer.receivedBytes().size() + 1, 100ms);
        transcript = printer.transcript();
    }
    EXPECT_NE(transcript.find("[cut"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("CORVANE MARKET"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find(R"([qr "https://receipts.corvane.example/e/3-000417"])"), std::string::npos)
        << transcript;
}

}  // namespace
}  // namespace comapps
