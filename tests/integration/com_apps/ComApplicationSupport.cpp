#include "ComApplicationSupport.h"

#include <cstdlib>
#include <sstream>

#include "schema/DeviceEntry.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"
#include "support/ChildProcess.h"

namespace comapps {

std::string windowsPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

std::string systemProgram(const char* name) {
    const char* root = std::getenv("SystemRoot");
    return std::string(root != nullptr ? root : "C:\\windows") + "\\system32\\" + name;
}

bool ProgramRun::has(const std::string& line) const {
    for (const std::string& candidate : lines) {
        if (candidate == line) {
            return true;
        }
    }
    return false;
}

std::string ProgramRun::text() const {
    std::string joined;
    for (const std::string& line : lines) {
        joined += line + "\n";
    }
    return joined;
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds deadline) {
    ProgramRun run;
    testsupport::ChildProcess child;
    if (!child.start(program, arguments)) {
        ADD_FAILURE() << "cannot start " << program;
        return run;
    }
    child.openGate();
    run.finished = child.finish(deadline);
    run.exitCode = child.exitCode();
    std::istringstream output(child.output());
    for (std::string line; std::getline(output, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        run.lines.push_back(line);
    }
    return run;
}

void ComApplicationTest::SetUp() { regsvr32(false); }

void ComApplicationTest::TearDown() {
    m_printer.reset();
    regsvr32(true);
}

void ComApplicationTest::regsvr32(bool unregister) {
    for (const char* module : {RECEIPTSO_PATH, DRAWERSO_PATH}) {
        std::vector<std::string> arguments{"/s"};
        if (unregister) {
            arguments.push_back("/u");
        }
        arguments.push_back(windowsPath(module));
        const ProgramRun run = runProgram(systemProgram("regsvr32.exe"), arguments);
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(run.exitCode, 0) << "regsvr32 " << (unregister ? "/u " : "") << module;
    }
}

testsupport::PrinterUnderTest& ComApplicationTest::addNetworkPrinter(const std::string& model,
                                                                     const std::string& keyName,
                                                                     const std::string& logicalName) {
    m_printer = testsupport::makePrinterUnderTest(model, m_registry.directory());
    std::string error;
    EXPECT_TRUE(m_printer->startNetwork(&error)) << error;
    schema::RegKey key;
    EXPECT_EQ(key.create(platform::HKLM, schema::deviceKeyPath(schema::kPosPrinterClass, keyName)),
              platform::ERROR_SUCCESS);
    schema::PrinterValues values;
    values.settings.port = m_printer->portSetting();
    values.settings.timeOut = 5000;
    values.logicalName = logicalName;
    EXPECT_EQ(schema::writePrinterValues(key, values), platform::ERROR_SUCCESS);
    schema::RegKey classKey;
    EXPECT_EQ(classKey.create(platform::HKLM, schema::classKeyPath(schema::kPosPrinterClass)),
              platform::ERROR_SUCCESS);
    EXPECT_EQ(classKey.writeString(logicalName.c_str(), keyName), platform::ERROR_SUCCESS);
    return *m_printer;
}

}  // namespace comapps
