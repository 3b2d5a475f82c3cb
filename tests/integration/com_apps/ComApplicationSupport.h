#pragma once
// What the application tests under Windows share: both service object
// modules registered with the system as an installer or an administrator
// does it (regsvr32, by the module's full Windows path), a private registry
// for the device entries, the printer under test, and Windows programs run
// to their end with their output in lines.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/PrinterUnderTest.h"
#include "support/TempRegistry.h"

namespace comapps {

// A Linux path of the build (the modules, the scripts) as Windows programs
// name it: on drive Z:.
std::string windowsPath(const std::string& linuxPath);

// A program of the system folder (regsvr32.exe, cscript.exe).
std::string systemProgram(const char* name);

struct ProgramRun {
    bool finished = false;
    int exitCode = -1;
    std::vector<std::string> lines;

    bool has(const std::string& line) const;
    // The lines joined, for failure messages.
    std::string text() const;
};

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds deadline = std::chrono::seconds(60));

class ComApplicationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The printer under test of `model` on the network, and its device key
    // `keyName` (logical name `logicalName`).
    testsupport::PrinterUnderTest& addNetworkPrinter(const std::string& model, const std::string& keyName,
                                                     const std::string& logicalName);

    const std::string& directory() const { return m_registry.directory(); }

private:
    void regsvr32(bool unregister);

    testsupport::TempRegistry m_registry;
    std::unique_ptr<testsupport::PrinterUnderTest> m_printer;
};

}  // namespace comapps
