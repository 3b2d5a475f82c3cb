#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/OposConstants.h"
#include "setup/core/DeviceTest.h"

namespace setuptest {
namespace {

using namespace setup;
using Calls = std::vector<std::string>;

// A control object that answers as scripted and records every call.
class ScriptedControl : public OposControl {
public:
    LONG openCode = common::OPOS_SUCCESS;
    LONG openResultCode = common::OPOS_SUCCESS;
    LONG claimCode = common::OPOS_SUCCESS;
    LONG enableResultCode = common::OPOS_SUCCESS;
    Calls calls;

    LONG open(const std::string& logicalName) override {
        calls.push_back("Open(" + logicalName + ")");
        return openCode;
    }
    LONG openResult() override { return openResultCode; }
    LONG claimDevice(LONG timeoutMs) override {
        calls.push_back("ClaimDevice(" + std::to_string(timeoutMs) + ")");
        return claimCode;
    }
    void setDeviceEnabled(bool enabled) override {
        calls.push_back(enabled ? "DeviceEnabled=1" : "DeviceEnabled=0");
        m_resultCode = enabled ? enableResultCode : common::OPOS_SUCCESS;
    }
    LONG resultCode() override { return m_resultCode; }
    LONG checkHealth(LONG level) override {
        calls.push_back("CheckHealth(" + std::to_string(level) + ")");
        return common::OPOS_SUCCESS;
    }
    LONG releaseDevice() override {
        calls.push_back("ReleaseDevice");
        return common::OPOS_SUCCESS;
    }
    LONG close() override {
        calls.push_back("Close");
        return common::OPOS_SUCCESS;
    }

private:
    LONG m_resultCode = common::OPOS_SUCCESS;
};

class Host : public DeviceTestHost {
public:
    ScriptedControl printer;
    ScriptedControl drawer;
    bool installed = true;

    OposControl* control(DeviceClass deviceClass) override {
        if (!installed) {
            return nullptr;
        }
        return deviceClass == DeviceClass::PosPrinter ? static_cast<OposControl*>(&printer) : &drawer;
    }
};

TEST(DeviceTest, PrinterIsOpenedClaimedEnabledCheckedAndClosedAgain) {
    Host host;
    const Outcome outcome = runDeviceTest(host, "RX-H81", "till");
    EXPECT_TRUE(outcome.success);
    EXPECT_FALSE(outcome.hasMessage());
    EXPECT_EQ(host.printer.calls, (Calls{"Open(till)", "ClaimDevice(3000)", "DeviceEnabled=1", "CheckHealth(3)",
                                         "DeviceEnabled=0", "ReleaseDevice", "Close"}));
    EXPECT_TRUE(host.drawer.calls.empty());
}

TEST(DeviceTest, PrinterWhosePortIsHeldElsewhereEndsAtTheClaimAndIsClosed) {
    Host host;
    host.printer.claimCode = common::OPOS_E_CLAIMED;
    const Outcome outcome = runDeviceTest(host, "RX-H81_2", "till");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message.icon, MessageIcon::Error);
    EXPECT_EQ(outcome.message.text, "Error occurred in calling the ClaimeDevice method:\nClaim(3000) = 102");
    EXPECT_EQ(host.printer.calls, (Calls{"Open(till)", "ClaimDevice(3000)", "Close"}));
}

TEST(DeviceTest, DrawerIsNeverClaimed) {
    Host host;
    EXPECT_TRUE(runDeviceTest(host, "RX-H81Drawer", "cash").success);
    EXPECT_EQ(host.drawer.calls, (Calls{"Open(cash)", "DeviceEnabled=1", "CheckHealth(3)", "DeviceEnabled=0",
                                        "ReleaseDevice", "Close"}));
}

TEST(DeviceTest, OpenFailureReportsOpenResultInEachClassesWording) {
    Host host;
    host.printer.openCode = common::OPOS_E_NOEXIST;
    host.printer.openResultCode = common::OPOS_E_NOSERVICE;
    EXPECT_EQ(runDeviceTest(host, "RX-H81", "till").message.text,
              "Error Occurred in calling the Open method:\nOpenResult = 104");
    EXPECT_EQ(host.printer.calls, Calls{"Open(till)"});

    host.drawer.openCode = common::OPOS_E_NOEXIST;
    host.drawer.openResultCode = common::OPOS_E_NOEXIST;
    EXPECT_EQ(runDeviceTest(host, "RX-H81Drawer", "cash").message.text,
              "Error occurred in calling the Open method:\nOpenResult = 109");
}

TEST(DeviceTest, EnableFailureReleasesAndCloses) {
    Host host;
    host.printer.enableResultCode = common::OPOS_E_FAILURE;
    const Outcome outcome = runDeviceTest(host, "RX-H81", "till");
    EXPECT_EQ(outcome.message.text, "Error occurred in calling the SetDeviceEnable method:\nResultCode = 111");
    EXPECT_EQ(host.printer.calls,
              (Calls{"Open(till)", "ClaimDevice(3000)", "DeviceEnabled=1", "ReleaseDevice", "Close"}));
}

TEST(DeviceTest, MissingControlObjectIsReportedWithoutACall) {
    Host host;
    host.installed = false;
    const Outcome outcome = runDeviceTest(host, "RX-H81", "till");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.message.icon, MessageIcon::Error);
    EXPECT_NE(outcome.message.text.find("POSPrinter"), std::string::npos);
}

}  // namespace
}  // namespace setuptest
