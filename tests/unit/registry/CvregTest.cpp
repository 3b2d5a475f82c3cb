#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "CommandLine.h"
#include "Commands.h"
#include "platform/registry.h"
#include "support/TempRegistry.h"

using namespace cvreg;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome run(const std::vector<std::string>& args) {
    Outcome result;
    Command command;
    std::string error;
    if (!parseCommandLine(args, &command, &error)) {
        result.status = 2;
        result.err = error;
        return result;
    }
    std::ostringstream out;
    std::ostringstream err;
    result.status = runCommand(command, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

TEST(Cvreg, CommandLine) {
    Command command;
    std::string error;
    ASSERT_TRUE(parseCommandLine({"ADD", "HKLM\\Software\\X", "/V", "Baud", "-t", "reg_dword", "/d", "0x2580", "/f"},
                                 &command, &error))
        << error;
    EXPECT_EQ(command.operation, Operation::Add);
    EXPECT_EQ(command.key, "HKLM\\Software\\X");
    EXPECT_TRUE(command.hasValue);
    EXPECT_EQ(command.valueName, "Baud");
    EXPECT_EQ(command.type, platform::REG_DWORD);
    EXPECT_EQ(command.number, 0x2580u);

    ASSERT_TRUE(parseCommandLine({"import", "/tmp/setup.reg"}, &command, &error)) << error;
    EXPECT_EQ(command.file, "/tmp/setup.reg");
    ASSERT_TRUE(parseCommandLine({"export", "HKCR\\X", "/tmp/out.reg", "/y"}, &command, &error)) << error;
    EXPECT_EQ(command.file, "/tmp/out.reg");
    ASSERT_TRUE(parseCommandLine({"add", "HKLM\\X", "/ve", "/d", "text"}, &command, &error)) << error;
    EXPECT_TRUE(command.hasValue);
    EXPECT_EQ(command.valueName, "");
    EXPECT_EQ(command.text, "text");
    ASSERT_TRUE(parseCommandLine({"add", "HKLM\\X", "/v", "Big", "/t", "REG_DWORD", "/d", "4294967295"}, &command,
                                 &error));
    EXPECT_EQ(command.number, 0xFFFFFFFFu);

    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"copy", "HKLM\\X"},
        {"query"},
        {"query", "HKCU\\X"},
        {"query", "HKLM\\X", "extra"},
        {"query", "HKLM\\X", "/v"},
        {"query", "HKLM\\X", "/v", "a", "/v", "b"},
        {"query", "HKLM\\X", "/v", "a", "/ve"},
        {"query", "HKLM\\X", "/d", "x"},
        {"add", "HKLM\\X", "/d", "x"},
        {"add", "HKLM\\X", "/v", "a", "/t", "REG_BINARY", "/d", "00"},
        {"add", "HKLM\\X", "/v", "a", "/t", "REG_DWORD"},
        {"add", "HKLM\\X", "/v", "a", "/t", "REG_DWORD", "/d", "0x100000000"},
        {"add", "HKLM\\X", "/v", "a", "/t", "REG_DWORD", "/d", "-1"},
        {"add", "HKLM\\X", "/v", "a", "/t", "REG_DWORD", "/d", "12ab"},
        {"import"},
        {"import", "a.reg", "/v", "x"},
    };
    for (const auto& args : wrong) {
        error.clear();
        std::string joined;
        for (const auto& arg : args) {
            joined += arg + " ";
        }
        EXPECT_FALSE(parseCommandLine(args, &command, &error)) << joined;
        EXPECT_FALSE(error.empty()) << joined;
    }
}

TEST(Cvreg, AddQueryAndDelete) {
    testsupport::TempRegistry registry;
    EXPECT_EQ(run({"add", "HKLM\\SOFTWARE\\Corvane\\Printer"}).status, 0);
    EXPECT_EQ(run({"add", "HKLM\\SOFTWARE\\Corvane\\Printer", "/ve", "/d", "SOCorvane.posprinter.1"}).status, 0);
    EXPECT_EQ(run({"add", "HKLM\\SOFTWARE\\Corvane\\Printer", "/v", "Port", "/d", "COM1"}).status, 0);
    EXPECT_EQ(run({"add", "HKLM\\SOFTWARE\\Corvane\\Printer", "/v", "Baudrate", "/t", "REG_DWORD", "/d", "9600"}).status,
              0);
    EXPECT_EQ(run({"add", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Printer\\Drawer"}).status, 0);

    Outcome listing = run({"query", "HKLM\\SOFTWARE\\Corvane\\Printer"});
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_EQ(listing.out,
              "HKLM\\SOFTWARE\\Corvane\\Printer\n"
              "    (Default)    REG_SZ    SOCorvane.posprinter.1\n"
              "    Port    REG_SZ    COM1\n"
              "    Baudrate    REG_DWORD    0x2580\n"
              "\n"
              "HKLM\\SOFTWARE\\Corvane\\Printer\\Drawer\n");
    Outcome one = run({"query", "HKLM\\software\\corvane\\printer", "/v", "baudrate"});
    EXPECT_EQ(one.out, "HKLM\\software\\corvane\\printer\n    baudrate    REG_DWORD    0x2580\n");

    Outcome missing = run({"query", "HKLM\\SOFTWARE\\Corvane\\Printer", "/v", "Parity"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Parity"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;

    EXPECT_EQ(run({"delete", "HKLM\\SOFTWARE\\Corvane\\Printer", "/v", "Port", "/f"}).status, 0);
    EXPECT_EQ(run({"delete", "HKLM\\SOFTWARE\\Corvane\\Printer", "/v", "Port"}).status, 1);
    EXPECT_EQ(run({"delete", "HKLM\\SOFTWARE\\Corvane\\Printer", "/ve"}).status, 0);
    EXPECT_EQ(run({"query", "HKLM\\SOFTWARE\\Corvane\\Printer"}).out,
              "HKLM\\SOFTWARE\\Corvane\\Printer\n"
              "    Baudrate    REG_DWORD    0x2580\n"
              "\n"
              "HKLM\\SOFTWARE\\Corvane\\Printer\\Drawer\n");

    EXPECT_EQ(run({"delete", "HKLM\\SOFTWARE\\Corvane"}).status, 0);
    Outcome gone = run({"query", "HKLM\\SOFTWARE\\Corvane\\Printer"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("cannot open HKLM\\SOFTWARE\\Corvane\\Printer"), std::string::npos) << gone.err;
    EXPECT_EQ(run({"delete", "HKLM\\SOFTWARE\\Corvane"}).status, 1);
    EXPECT_EQ(run({"delete", "HKLM"}).status, 1);
    EXPECT_EQ(run({"query", "HKLM\\SOFTWARE"}).out, "HKLM\\SOFTWARE\n\n");
}

TEST(Cvreg, ExportAndImport) {
    testsupport::TempRegistry registry;
    ASSERT_EQ(run({"add", "HKCR\\SOCorvane.posprinter.1\\CLSID", "/ve", "/d", "{1}"}).status, 0);
    Outcome toStdout = run({"export", "HKCR\\SOCorvane.posprinter.1"});
    EXPECT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CLASSES_ROOT\\SOCorvane.posprinter.1]\n\n"
              "[HKEY_CLASSES_ROOT\\SOCorvane.posprinter.1\\CLSID]\n@=\"{1}\"\n\n");
    const std::string file = registry.directory() + "/classes.reg";
    ASSERT_EQ(run({"export", "HKCR\\SOCorvane.posprinter.1", file}).status, 0);
    std::stringstream written;
    written << std::ifstream(file).rdbuf();
    EXPECT_EQ(written.str(), toStdout.out);

    EXPECT_EQ(run({"delete", "HKCR\\SOCorvane.posprinter.1"}).status, 0);
    EXPECT_EQ(run({"import", file}).status, 0);
    EXPECT_EQ(run({"export", "HKCR\\SOCorvane.posprinter.1"}).out, toStdout.out);

    std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n[HKLM\\X]\n\"a\"=dword:xyz\n";
    Outcome bad = run({"import", file});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("line 4:"), std::string::npos) << bad.err;
    EXPECT_EQ(run({"export", "HKLM\\X"}).status, 1);
    EXPECT_EQ(run({"export", "HKLM", registry.directory() + "/no/such/folder.reg"}).status, 1);
}

TEST(Cvreg, TheProgramReportsUsageAndFailures) {
    testsupport::TempRegistry registry;
    testsupport::ChildProcess usage;
    ASSERT_TRUE(usage.start(CVREG_PATH, {"query"}));
    ASSERT_TRUE(usage.finish(std::chrono::seconds(30)));
    EXPECT_EQ(usage.exitCode(), 2);
    EXPECT_NE(usage.output().find("usage:"), std::string::npos) << usage.output();

    testsupport::ChildProcess missing;
    ASSERT_TRUE(missing.start(CVREG_PATH, {"query", "HKLM\\Missing"}));
    ASSERT_TRUE(missing.finish(std::chrono::seconds(30)));
    EXPECT_EQ(missing.exitCode(), 1);
    EXPECT_NE(missing.output().find("cannot open HKLM\\Missing"), std::string::npos) << missing.output();
}

}  // namespace
