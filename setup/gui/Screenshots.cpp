// tillsetup-screenshots OUTDIR: pictures of the main window and of every
// dialog, drawn off screen over a demonstration registry of their own, so
// that the layout can be reviewed (and the manual illustrated) on a machine
// without a display and without touching its configuration.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>
#include <memory>

#include "setup/core/ControlObjectHost.h"
#include "setup/core/DeviceCreation.h"
#include "setup/gui/AboutBox.h"
#include "setup/gui/AddDeviceDialog.h"
#include "setup/gui/DialogProvider.h"
#include "setup/gui/MainWindow.h"
#include "setup/gui/MessagePresenter.h"
#include "setup/gui/NetDeviceDialog.h"
#include "setup/gui/PortRangeSettingDialog.h"
#include "setup/gui/UsbDeviceDialog.h"

namespace {

using namespace setup;
using namespace setup::gui;

// Nothing to answer while pictures are taken.
class SilentPresenter : public MessagePresenter {
public:
    void show(QWidget*, const Message&) override {}
    bool confirm(QWidget*, const Message&) override { return false; }
};

bool save(QWidget& widget, const QDir& directory, const char* name) {
    widget.show();
    widget.adjustSize();
    QApplication::processEvents();
    const QString path = directory.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toLocal8Bit().constData());
    widget.hide();
    return saved;
}

bool addDemoDevices() {
    NewPrinter serial;
    serial.model = "RX-K92";
    serial.port = "COM1";
    serial.logicalName = "receipt";
    serial.baudrate = 19200;
    NewPrinter network;
    network.model = "RX-A14";
    network.port = "NET192.168.1.40";
    network.logicalName = "kitchen";
    const CreatedDevice printer = createPrinter(serial);
    if (!printer.success || !createPrinter(network).success) {
        return false;
    }
    DrawerChoice choice = choosePrinterForDrawer(printer.deviceKeyName);
    choice.drawer.logicalName = "drawer";
    return choice.success && createDrawer(choice.drawer).success;
}

void selectDevice(QWidget& window, const QString& key) {
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("deviceTree"));
    const QList<QTreeWidgetItem*> found = tree->findItems(key, Qt::MatchExactly | Qt::MatchRecursive);
    if (!found.isEmpty()) {
        tree->setCurrentItem(found.front());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tillsetup-screenshots OUTDIR\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir registryDirectory;
    if (!registryDirectory.isValid()) {
        std::fprintf(stderr, "tillsetup-screenshots: no temporary folder for the registry\n");
        return 1;
    }
    qputenv("CVOPOS_REGISTRY", registryDirectory.filePath(QStringLiteral("registry.db")).toLocal8Bit());
    QApplication application(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()) || !addDemoDevices()) {
        std::fprintf(stderr, "tillsetup-screenshots: cannot prepare %s\n", argv[1]);
        return 1;
    }

    SilentPresenter presenter;
    bool saved = true;
    MainWindow window(presenter, true, std::make_unique<ControlObjectHost>());
    window.resize(720, 520);
    saved &= save(window, out, "main-window");
    window.show();
    selectDevice(window, QStringLiteral("RX-K92"));
    saved &= save(window, out, "main-window-printer");
    window.show();
    selectDevice(window, QStringLiteral("RX-A14"));
    saved &= save(window, out, "main-window-network-printer");
    window.show();
    selectDevice(window, QStringLiteral("RX-K92Drawer"));
    saved &= save(window, out, "main-window-drawer");

    MainWindow viewer(presenter, false, std::make_unique<ControlObjectHost>());
    viewer.resize(720, 520);
    viewer.show();
    selectDevice(viewer, QStringLiteral("RX-K92"));
    saved &= save(viewer, out, "main-window-printer-not-administrator");

    AddDeviceDialog addPrinter(AddDeviceDialog::Mode::Printer, presenter, &window);
    saved &= save(addPrinter, out, "add-printer");
    AddDeviceDialog addDrawer(AddDeviceDialog::Mode::Drawer, presenter, &window);
    saved &= save(addDrawer, out, "add-drawer");
    AddDeviceDialog addName(AddDeviceDialog::Mode::LogicalName, presenter, &window);
    saved &= save(addName, out, "add-ldn");
    UsbDeviceDialog usb("RX-K92", kUsbLinkLibrary, presenter, &window);
    saved &= save(usb, out, "add-usb-device");
    NetDeviceDialog net(presenter, &window);
    saved &= save(net, out, "add-net-device");
    PortRangeSettingDialog portRange(presenter, &window);
    saved &= save(portRange, out, "port-range-setting");
    AboutBox about(&window);
    saved &= save(about, out, "about");
    // As the cash drawer's service object describes its interactive check.
    const platform::DialogDescription healthCheck{
        "Dialog", {"CheckHealth Method", "Push The [Start] Button To Start"}, "Start", "Cancel", "Result"};
    HealthCheckDialog check(healthCheck, [] { return std::string("OPOS_SUCCESS"); }, &window);
    saved &= save(check, out, "health-check");
    QMessageBox message(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption),
                        QStringLiteral("Please,add printer!"), QMessageBox::Ok, &window);
    saved &= save(message, out, "message-box");
    return saved ? 0 : 1;
}
