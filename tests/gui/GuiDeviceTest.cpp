#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <memory>
#include <random>
#include <string>

#include "GuiTestSupport.h"
#include "emulator/NetworkPort.h"
#include "emulator/VirtualPrinter.h"
#include "platform/com.h"
#include "platform/module.h"
#include "setup/core/ControlObjectHost.h"
#include "setup/core/DeviceCreation.h"
#include "setup/gui/MainWindow.h"
#include "support/TempRegistry.h"

namespace setupgui {
namespace {

void registerModule(const char* path) {
    platform::HModule module = platform::loadLibrary(path);
    ASSERT_NE(module, nullptr) << path;
    auto registerServer =
        platform::getProcAddressAs<platform::DllRegisterServerFunction>(module, platform::kDllRegisterServerExport);
    ASSERT_NE(registerServer, nullptr) << path;
    ASSERT_EQ(registerServer(path), platform::S_OK) << path;
}

// "CheckHealth Interactive" from the window over the real control objects
// and service objects, with a virtual printer on the network behind them.
class GuiDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerModule(RECEIPTSO_PATH);
        registerModule(DRAWERSO_PATH);
        std::random_device seed;
        std::uniform_int_distribution<int> part(1, 254);
        for (int attempt = 0; attempt < 50 && !m_network; ++attempt) {
            emulator::NetworkPort::Options options;
            options.address = "127." + std::to_string(part(seed)) + "." + std::to_string(part(seed)) + ".1";
            m_network = emulator::NetworkPort::open(m_printer, options);
        }
        ASSERT_TRUE(m_network);
        m_printerKey = seedPrinter("RX-K93", "NET" + m_network->address(), "till");
        m_drawerKey = seedDrawer(m_printerKey, "cash");
    }

    testsupport::TempRegistry m_registry;
    emulator::VirtualPrinter m_printer{"K93"};
    std::unique_ptr<emulator::NetworkPort> m_network;
    std::string m_printerKey;
    std::string m_drawerKey;
    RecordingPresenter m_presenter;
};

TEST_F(GuiDeviceTest, DrawerCheckShowsTheServiceObjectsDialogAndItsPulseSucceeds) {
    setup::gui::MainWindow window(m_presenter, true, std::make_unique<setup::ControlObjectHost>());
    window.show();
    selectDevice(window, m_drawerKey);
    QString title;
    QString result;
    ModalDriver driver([&](QDialog& dialog) {
        title = dialog.windowTitle();
        need<QPushButton>(dialog, "startButton")->click();
        result = need<QLineEdit>(dialog, "resultEdit")->text();
        need<QPushButton>(dialog, "closeButton")->click();
    });
    need<QPushButton>(window, "checkHealthButton")->click();
    ASSERT_TRUE(driver.ran()) << "no health-check dialog";
    EXPECT_EQ(title, QStringLiteral("Dialog"));
    EXPECT_EQ(result, QStringLiteral("OPOS_SUCCESS"));
    EXPECT_TRUE(m_presenter.shown.empty()) << m_presenter.texts().front();
}

TEST_F(GuiDeviceTest, PrinterCheckEndsInThePrintersDialogAndPrintsItsText) {
    setup::gui::MainWindow window(m_presenter, true, std::make_unique<setup::ControlObjectHost>());
    window.show();
    selectDevice(window, m_printerKey);
    // Twice from the same window: the first run released and closed it.
    for (int run = 0; run < 2; ++run) {
        QString title;
        QString result;
        const std::size_t before = m_printer.receivedBytes().size();
        ModalDriver driver([&](QDialog& dialog) {
            title = dialog.windowTitle();
            need<QPushButton>(dialog, "startButton")->click();
            result = need<QLineEdit>(dialog, "resultEdit")->text();
            need<QPushButton>(dialog, "closeButton")->click();
        });
        need<QPushButton>(window, "checkHealthButton")->click();
        ASSERT_TRUE(driver.ran()) << "run " << run << ": no health-check dialog";
        EXPECT_EQ(title, QStringLiteral("CheckHealth Interactive"));
        EXPECT_EQ(result, QStringLiteral("OPOS_SUCCESS"));
        EXPECT_TRUE(m_printer.waitForReceived(before + 255, std::chrono::seconds(5)));
        EXPECT_NE(m_printer.transcript().find("Interactive Check for printer"), std::string::npos);
        EXPECT_TRUE(m_presenter.shown.empty()) << "run " << run << ": " << m_presenter.texts().front();
    }
}

}  // namespace
}  // namespace setupgui
