#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

#include "GuiTestSupport.h"
#include "platform/ui.h"
#include "setup/core/DeviceCreation.h"
#include "setup/core/DeviceTree.h"
#include "setup/core/PortSetup.h"
#include "setup/gui/MainWindow.h"
#include "setup/gui/MessagePresenter.h"
#include "support/TempRegistry.h"

namespace setupgui {
namespace {

using namespace setup;
using namespace setup::gui;

class SetupWindowTest : public ::testing::Test {
protected:
    // A window over the test registry, shown off screen.
    std::unique_ptr<MainWindow> openWindow(bool administrator = true, std::unique_ptr<DeviceTestHost> host = {}) {
        auto window = std::make_unique<MainWindow>(presenter, administrator, std::move(host));
        window->show();
        return window;
    }

    QStringList devicesOf(MainWindow& window, const char* classItem) {
        auto* tree = need<QTreeWidget>(window, "deviceTree");
        const QList<QTreeWidgetItem*> found =
            tree->findItems(QString::fromLatin1(classItem), Qt::MatchExactly | Qt::MatchRecursive);
        QStringList keys;
        if (!found.isEmpty()) {
            for (int i = 0; i < found.front()->childCount(); ++i) {
                keys << found.front()->child(i)->text(0);
            }
        }
        return keys;
    }

    void select(MainWindow& window, const std::string& key) { selectDevice(window, key); }

    testsupport::TempRegistry registry;
    RecordingPresenter presenter;
};

TEST_F(SetupWindowTest, WindowShowsTheFixedTreeAndMenus) {
    auto window = openWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tessel OPOS ADK APG/CPG 1.7"));
    auto* tree = need<QTreeWidget>(*window, "deviceTree");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("Device"));
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(0)->text(0), QStringLiteral("PosPrinter"));
    EXPECT_EQ(root->child(1)->text(0), QStringLiteral("CashDrawer"));
    EXPECT_EQ(need<QAction>(*window, "addPrinterAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    EXPECT_EQ(need<QAction>(*window, "addDrawerAction")->text(), QStringLiteral("Add Cash&Drawer...\tCtrl+D"));
    EXPECT_EQ(need<QAction>(*window, "addLdnAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
    EXPECT_EQ(need<QAction>(*window, "exitAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    // Nothing selected: nothing to change.
    for (const char* name : {"ldnCombo", "deleteButton", "portCombo", "validateButton", "checkHealthButton"}) {
        EXPECT_FALSE(need<QWidget>(*window, name)->isEnabled()) << name;
    }
    EXPECT_FALSE(need<QWidget>(*window, "drawerSignals")->isVisible());
    EXPECT_FALSE(need<QWidget>(*window, "outputIntervalEdit")->isVisible());
    EXPECT_EQ(need<QLineEdit>(*window, "outputIntervalEdit")->text(), QStringLiteral("5000"));
}

TEST_F(SetupWindowTest, PrinterAddedOnCom1AppearsInTheTreeWithItsSettings) {
    auto window = openWindow();
    ModalDriver driver([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Add New Device"));
        EXPECT_EQ(need<QLabel>(dialog, "modelLabel")->text(), QStringLiteral("Select Prints:"));
        auto* name = need<QLineEdit>(dialog, "ldnEdit");
        auto* port = need<QComboBox>(dialog, "portCombo");
        EXPECT_EQ(port->currentText(), QStringLiteral("NONE"));
        EXPECT_FALSE(name->isEnabled());
        choose(need<QComboBox>(dialog, "modelCombo"), QStringLiteral("RX-K92"));
        choose(port, QStringLiteral("COM1"));
        EXPECT_TRUE(name->isEnabled());
        EXPECT_TRUE(need<QComboBox>(dialog, "baudCombo")->isEnabled());
        choose(need<QComboBox>(dialog, "baudCombo"), QStringLiteral("19200"));
        choose(need<QComboBox>(dialog, "parityCombo"), QStringLiteral("Even"));
        QTest::keyClicks(name, QStringLiteral("Receipt"));
        need<QPushButton>(dialog, "okButton")->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    need<QAction>(*window, "addPrinterAction")->trigger();
    ASSERT_TRUE(driver.ran());
    EXPECT_TRUE(presenter.shown.empty()) << presenter.texts().front();
    ASSERT_EQ(devicesOf(*window, "PosPrinter"), QStringList{QStringLiteral("RX-K92")});

    select(*window, "RX-K92");
    EXPECT_EQ(entries(need<QComboBox>(*window, "ldnCombo")), QStringList{QStringLiteral("receipt")});
    auto* port = need<QComboBox>(*window, "portCombo");
    EXPECT_EQ(port->currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(entries(port), (QStringList{"COM1", "COM2", "COM3", "COM4", "LPT1", "LPT2"}));
    EXPECT_EQ(need<QComboBox>(*window, "baudCombo")->currentText(), QStringLiteral("19200"));
    EXPECT_EQ(need<QComboBox>(*window, "parityCombo")->currentText(), QStringLiteral("Even"));
    for (const char* name : {"ldnCombo", "deleteButton", "portCombo", "validateButton", "checkHealthButton",
                             "baudCombo"}) {
        EXPECT_TRUE(need<QWidget>(*window, name)->isEnabled()) << name;
    }
    EXPECT_FALSE(need<QWidget>(*window, "addressEdit")->isVisible());
}

TEST_F(SetupWindowTest, PrinterAddRefusedInTheDialogKeepsItOpen) {
    auto window = openWindow();
    bool stillOpen = false;
    ModalDriver driver([&](QDialog& dialog) {
        need<QPushButton>(dialog, "okButton")->click();
        choose(need<QComboBox>(dialog, "portCombo"), QStringLiteral("LPT1"));
        need<QPushButton>(dialog, "okButton")->click();
        stillOpen = dialog.isVisible();
    });
    need<QAction>(*window, "addPrinterAction")->trigger();
    ASSERT_TRUE(driver.ran());
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(presenter.texts(),
              (std::vector<std::string>{"Please,select port!", "Please,input a Logical Device Name!"}));
    EXPECT_TRUE(devicesOf(*window, "PosPrinter").isEmpty());
}

TEST_F(SetupWindowTest, DrawerAndNameNeedAPrinterFirst) {
    auto window = openWindow();
    for (const char* action : {"addDrawerAction", "addLdnAction"}) {
        presenter.shown.clear();
        ModalDriver driver([](QDialog&) {});
        need<QAction>(*window, action)->trigger();
        EXPECT_FALSE(driver.ran()) << action << " opened a dialog";
        EXPECT_EQ(presenter.texts(), std::vector<std::string>{"Please,add printer!"}) << action;
    }
}

TEST_F(SetupWindowTest, DrawerForAPrinterThatHasOneGoesBackToNone) {
    const std::string withDrawer = seedPrinter("RX-K92", "COM1", "receipt");
    seedDrawer(withDrawer, "drawer");
    const std::string free = seedPrinter("RX-H81", "COM2", "kitchen", 38400, ParityOdd);
    auto window = openWindow();
    ModalDriver driver([&](QDialog& dialog) {
        auto* model = need<QComboBox>(dialog, "modelCombo");
        auto* name = need<QLineEdit>(dialog, "ldnEdit");
        QStringList printers{QStringLiteral("NONE")};
        for (const std::string& key : ownDeviceKeys(DeviceClass::PosPrinter)) {
            printers << QString::fromStdString(key);
        }
        EXPECT_EQ(entries(model), printers);
        EXPECT_EQ(printers.size(), 3);
        EXPECT_TRUE(need<QRadioButton>(dialog, "openLowRadio")->isChecked());
        EXPECT_TRUE(need<QRadioButton>(dialog, "pin2Radio")->isChecked());

        choose(model, QString::fromStdString(withDrawer));
        EXPECT_EQ(model->currentText(), QStringLiteral("NONE"));
        EXPECT_FALSE(name->isEnabled());

        // A free printer lends the drawer its line: its port and baud rate
        // alone, its parity, and DTR/DSR whatever the printer uses.
        choose(model, QString::fromStdString(free));
        EXPECT_TRUE(name->isEnabled());
        EXPECT_EQ(entries(need<QComboBox>(dialog, "portCombo")), QStringList{QStringLiteral("COM2")});
        EXPECT_EQ(entries(need<QComboBox>(dialog, "baudCombo")), QStringList{QStringLiteral("38400")});
        EXPECT_EQ(need<QComboBox>(dialog, "parityCombo")->currentText(), QStringLiteral("Odd"));
        EXPECT_EQ(need<QComboBox>(dialog, "flowCombo")->currentText(), QStringLiteral("DTR/DSR"));
        need<QRadioButton>(dialog, "openHighRadio")->click();
        QTest::keyClicks(name, QStringLiteral("till2"));
        need<QPushButton>(dialog, "okButton")->click();
    });
    need<QAction>(*window, "addDrawerAction")->trigger();
    ASSERT_TRUE(driver.ran());
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].text, withDrawer + " already has a cashDrawer of " + withDrawer + "Drawer");

    const std::string newDrawer = free + "Drawer";
    EXPECT_TRUE(devicesOf(*window, "CashDrawer").contains(QString::fromStdString(newDrawer)));
    select(*window, newDrawer);
    EXPECT_TRUE(need<QWidget>(*window, "drawerSignals")->isVisible());
    EXPECT_TRUE(need<QRadioButton>(*window, "openHighRadio")->isChecked());
    EXPECT_TRUE(need<QRadioButton>(*window, "pin2Radio")->isChecked());
    EXPECT_FALSE(need<QWidget>(*window, "portCombo")->isEnabled());
    EXPECT_EQ(need<QComboBox>(*window, "portCombo")->count(), 0);
}

TEST_F(SetupWindowTest, PortInUseIsRefusedAndTheChoiceRestored) {
    const std::string first = seedPrinter("RX-K92", "COM1", "receipt");
    const std::string second = seedPrinter("RX-H81", "COM2", "kitchen");
    auto window = openWindow();
    ModalDriver driver([&](QDialog& dialog) {
        auto* port = need<QComboBox>(dialog, "portCombo");
        choose(port, QStringLiteral("COM1"));
        EXPECT_EQ(port->currentText(), QStringLiteral("NONE"));
        EXPECT_FALSE(need<QLineEdit>(dialog, "ldnEdit")->isEnabled());
    });
    need<QAction>(*window, "addPrinterAction")->trigger();
    ASSERT_TRUE(driver.ran());
    EXPECT_EQ(presenter.texts(), std::vector<std::string>{"COM1 already occupy by " + first});

    presenter.shown.clear();
    select(*window, second);
    auto* port = need<QComboBox>(*window, "portCombo");
    choose(port, QStringLiteral("COM1"));
    EXPECT_EQ(presenter.texts(), std::vector<std::string>{"COM1 already occupy by " + first});
    EXPECT_EQ(port->currentText(), QStringLiteral("COM2"));

    // A free LPT port is taken, and the serial settings no longer apply.
    presenter.shown.clear();
    choose(port, QStringLiteral("LPT1"));
    EXPECT_TRUE(presenter.shown.empty());
    EXPECT_FALSE(need<QWidget>(*window, "baudCombo")->isEnabled());
    need<QPushButton>(*window, "validateButton")->click();
    EXPECT_EQ(presenter.texts(), std::vector<std::string>{"Modify success!"});
    const std::optional<DeviceView> view = viewDevice(second);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->settings.port, "LPT1");
}

TEST_F(SetupWindowTest, NetworkPrinterShowsItsAddressAndKeepsItOnConflict) {
    const std::string printer = seedPrinter("RX-A14", "NET192.168.1.40", "kitchen");
    const std::string other = seedPrinter("RX-K92", "NET10.0.0.5", "bar");
    auto window = openWindow();
    select(*window, printer);
    auto* address = need<QWidget>(*window, "addressEdit");
    EXPECT_TRUE(address->isVisible());
    EXPECT_FALSE(need<QWidget>(*window, "portCombo")->isVisible());
    const QStringList expected{"192", "168", "1", "40"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(need<QLineEdit>(*address, qPrintable(QStringLiteral("addressField%1").arg(i)))->text(),
                  expected[i]);
    }

    auto* field = need<QLineEdit>(*address, "addressField0");
    auto* last = need<QLineEdit>(*address, "addressField3");
    field->setText(QStringLiteral("10"));
    need<QLineEdit>(*address, "addressField1")->setText(QStringLiteral("0"));
    need<QLineEdit>(*address, "addressField2")->setText(QStringLiteral("0"));
    last->setText(QStringLiteral("5"));
    need<QPushButton>(*window, "validateButton")->click();
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].icon, MessageIcon::Error);
    EXPECT_NE(presenter.shown[0].text.find(other), std::string::npos) << presenter.shown[0].text;
    EXPECT_EQ(field->text(), QStringLiteral("192"));
    EXPECT_EQ(last->text(), QStringLiteral("40"));
    EXPECT_EQ(viewDevice(printer)->settings.port, "NET192.168.1.40");

    // Its own unchanged address is no conflict.
    presenter.shown.clear();
    need<QPushButton>(*window, "validateButton")->click();
    EXPECT_EQ(presenter.texts(), std::vector<std::string>{"Modify success!"});
}

TEST_F(SetupWindowTest, NonAdministratorSeesEverythingButChangesNothing) {
    const std::string printer = seedPrinter("RX-K92", "COM1", "receipt");
    const std::string drawer = seedDrawer(printer, "drawer");
    auto window = openWindow(false);
    for (const char* action : {"addPrinterAction", "addDrawerAction", "addLdnAction", "portRangeAction"}) {
        EXPECT_FALSE(need<QAction>(*window, action)->isEnabled()) << action;
    }
    EXPECT_TRUE(need<QAction>(*window, "aboutAction")->isEnabled());

    select(*window, printer);
    EXPECT_EQ(need<QComboBox>(*window, "portCombo")->currentText(), QStringLiteral("COM1"));
    for (const char* name : {"portCombo", "validateButton", "deleteButton", "baudCombo", "parityCombo", "flowCombo"}) {
        EXPECT_FALSE(need<QWidget>(*window, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(need<QWidget>(*window, "ldnCombo")->isEnabled());
    EXPECT_TRUE(need<QWidget>(*window, "checkHealthButton")->isEnabled());

    // A drawer's two signals may be validated by anyone.
    select(*window, drawer);
    EXPECT_TRUE(need<QWidget>(*window, "validateButton")->isEnabled());
    EXPECT_FALSE(need<QWidget>(*window, "deleteButton")->isEnabled());
}

TEST_F(SetupWindowTest, PortRangeTyped50BecomesFourAndShortensThePortList) {
    const std::string printer = seedPrinter("RX-K92", "COM1", "receipt");
    auto window = openWindow();
    ModalDriver driver([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Port Range Setting"));
        auto* com = need<QLineEdit>(dialog, "comEdit");
        EXPECT_EQ(com->text(), QStringLiteral("4"));
        com->clear();
        QTest::keyClicks(com, QStringLiteral("50"));
        EXPECT_EQ(com->text(), QStringLiteral("4"));
        EXPECT_EQ(presenter.texts(), std::vector<std::string>{"Please enter an integer between 1 and 40."});
        need<QToolButton>(dialog, "comDownButton")->click();
        need<QToolButton>(dialog, "lptDownButton")->click();
        EXPECT_EQ(com->text(), QStringLiteral("3"));
        need<QPushButton>(dialog, "okButton")->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    need<QAction>(*window, "portRangeAction")->trigger();
    ASSERT_TRUE(driver.ran());
    select(*window, printer);
    EXPECT_EQ(entries(need<QComboBox>(*window, "portCombo")), (QStringList{"COM1", "COM2", "COM3", "LPT1"}));
}

TEST_F(SetupWindowTest, DeleteCancelRemovesOnlyTheSelectedName) {
    const std::string printer = seedPrinter("RX-K92", "COM1", "receipt");
    ASSERT_TRUE(addLogicalName(printer, "second").success);
    seedDrawer(printer, "drawer");
    auto window = openWindow();
    select(*window, printer);
    EXPECT_EQ(entries(need<QComboBox>(*window, "ldnCombo")), (QStringList{"receipt", "second"}));

    presenter.answers = {false};
    need<QPushButton>(*window, "deleteButton")->click();
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_EQ(presenter.questions[0].text, "Are you sure delete the " + printer +
                                               " device?\nOK:Dlelte the device;\nCancel:Delete the current logic "
                                               "device name.");
    EXPECT_EQ(logicalNames(DeviceClass::PosPrinter, printer), std::vector<std::string>{"second"});
    EXPECT_EQ(devicesOf(*window, "PosPrinter"), QStringList{QString::fromStdString(printer)});

    select(*window, printer);
    presenter.answers = {true};
    need<QPushButton>(*window, "deleteButton")->click();
    EXPECT_EQ(presenter.questions.back().text, "Are you sure delete the " + printer + " device?");
    EXPECT_TRUE(devicesOf(*window, "PosPrinter").isEmpty());
    EXPECT_TRUE(devicesOf(*window, "CashDrawer").isEmpty());
}

// A control object whose health check shows the service object's dialog,
// as the suite's service objects do at the interactive level.
class DialogShowingControl : public OposControl {
public:
    LONG open(const std::string& name) override {
        opened = name;
        return 0;
    }
    LONG openResult() override { return 0; }
    LONG claimDevice(LONG) override { return 0; }
    void setDeviceEnabled(bool) override {}
    LONG resultCode() override { return 0; }
    LONG checkHealth(LONG level) override {
        const QCursor* cursor = QApplication::overrideCursor();
        waitCursorDuringTest = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
        platform::runModalDialog({"Receipt CheckHealth", {"Press Start."}, "Start", "Close", "Result:"},
                                 [this, level] {
                                     ++starts;
                                     return std::string("Level ") + std::to_string(level) + " complete";
                                 });
        return 0;
    }
    LONG releaseDevice() override { return 0; }
    LONG close() override { return 0; }

    std::string opened;
    bool waitCursorDuringTest = false;
    int starts = 0;
};

class OneControlHost : public DeviceTestHost {
public:
    explicit OneControlHost(OposControl& control) : m_control(control) {}
    OposControl* control(DeviceClass) override { return &m_control; }

private:
    OposControl& m_control;
};

TEST_F(SetupWindowTest, DeviceTestShowsTheHealthCheckDialogUnderTheWaitCursor) {
    const std::string printer = seedPrinter("RX-K92", "COM1", "receipt");
    DialogShowingControl control;
    auto window = openWindow(true, std::make_unique<OneControlHost>(control));
    select(*window, printer);
    QString result;
    ModalDriver driver([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Receipt CheckHealth"));
        need<QPushButton>(dialog, "startButton")->click();
        result = need<QLineEdit>(dialog, "resultEdit")->text();
        need<QPushButton>(dialog, "closeButton")->click();
    });
    need<QPushButton>(*window, "checkHealthButton")->click();
    ASSERT_TRUE(driver.ran());
    EXPECT_EQ(control.opened, "receipt");
    EXPECT_TRUE(control.waitCursorDuringTest);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(control.starts, 1);
    EXPECT_EQ(result, QStringLiteral("Level 3 complete"));
}

}  // namespace
}  // namespace setupgui
