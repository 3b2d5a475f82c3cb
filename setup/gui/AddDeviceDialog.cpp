#include "setup/gui/AddDeviceDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "SettingControls.h"
#include "setup/core/DeviceCatalogue.h"
#include "setup/core/DeviceTree.h"
#include "setup/core/PortSetup.h"
#include "setup/gui/MessagePresenter.h"
#include "setup/gui/NetDeviceDialog.h"
#include "setup/gui/UsbDeviceDialog.h"

namespace setup::gui {

namespace {

constexpr int kLogicalNameLength = 15;

void fillCombo(QComboBox* combo, const std::vector<std::string>& entries) {
    combo->clear();
    for (const std::string& entry : entries) {
        combo->addItem(QString::fromStdString(entry));
    }
}

bool keepsSearchModel(const std::string& model) {
    return model == "RT-B21" || model == "RX-H80" || model == "RX-K93";
}

}  // namespace

AddDeviceDialog::AddDeviceDialog(Mode mode, MessagePresenter& presenter, QWidget* parent, std::string usbLibrary)
    : QDialog(parent),
      m_mode(mode),
      m_presenter(presenter),
      m_usbLibrary(std::move(usbLibrary)),
      m_group(new QGroupBox(this)),
      m_modelLabel(new QLabel(this)),
      m_model(new QComboBox(this)),
      m_port(new QComboBox(this)),
      m_name(new QLineEdit(this)),
      m_comSettings(new ComSettingGroup(this)),
      m_signals(new DrawerSignalGroups(this)) {
    setObjectName(QStringLiteral("addDeviceDialog"));
    m_group->setObjectName(QStringLiteral("addGroup"));
    m_modelLabel->setObjectName(QStringLiteral("modelLabel"));
    m_model->setObjectName(QStringLiteral("modelCombo"));
    m_port->setObjectName(QStringLiteral("portCombo"));
    m_name->setObjectName(QStringLiteral("ldnEdit"));
    m_name->setMaxLength(kLogicalNameLength);
    m_model->setMinimumContentsLength(12);
    m_port->setMinimumContentsLength(10);

    auto* form = new QFormLayout;
    form->addRow(m_modelLabel, m_model);
    form->addRow(QStringLiteral("Selected port:"), m_port);
    form->addRow(QStringLiteral("Set up a Logical Device Name :"), m_name);
    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->addLayout(form);
    groupLayout->addWidget(m_comSettings);
    groupLayout->addWidget(m_signals);

    const auto [okButton, cancelButton, buttons] = makeDialogButtons(this, QStringLiteral("OK"), QStringLiteral("Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_group);
    layout->addLayout(buttons);

    m_comSettings->fillLists();
    m_comSettings->setControlsEnabled(false);
    switch (m_mode) {
        case Mode::Printer: fillForPrinter(); break;
        case Mode::Drawer: fillForDrawer(); break;
        case Mode::LogicalName: fillForLogicalName(); break;
    }
    // Only the installer's own choices run the checks: filling the lists
    // must not ask whether "NONE" is occupied.
    connect(m_model, &QComboBox::activated, this, &AddDeviceDialog::modelChosen);
    connect(m_port, &QComboBox::activated, this, &AddDeviceDialog::portChosen);
    connect(okButton, &QPushButton::clicked, this, &AddDeviceDialog::ok);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void AddDeviceDialog::fillForPrinter() {
    setWindowTitle(QStringLiteral("Add New Device"));
    m_group->setTitle(QStringLiteral("Add New Device"));
    m_modelLabel->setText(QStringLiteral("Select Prints:"));
    for (const char* model : kPrinterModels) {
        m_model->addItem(QString::fromLatin1(model));
    }
    m_model->setCurrentIndex(0);
    m_searchModel = kPrinterModels.front();
    fillCombo(m_port, addPortList(AddPortOrder::Opening));
    m_port->setCurrentIndex(0);
    m_name->setEnabled(false);
    m_signals->hide();
}

void AddDeviceDialog::fillForDrawer() {
    setWindowTitle(QStringLiteral("Add New Device"));
    m_group->setTitle(QStringLiteral("Add New Device"));
    m_modelLabel->setText(QStringLiteral("Select Prints:"));
    std::vector<std::string> entries{kNoPort};
    for (const std::string& key : ownDeviceKeys(DeviceClass::PosPrinter)) {
        entries.push_back(key);
    }
    fillCombo(m_model, entries);
    m_port->setEnabled(false);
    m_name->setEnabled(false);
    m_signals->showSignals(OpenSignalLow, DrawerPin2);
}

void AddDeviceDialog::fillForLogicalName() {
    setWindowTitle(QStringLiteral("Add New LDN"));
    m_group->setTitle(QStringLiteral("Add New LDN"));
    m_modelLabel->setText(QStringLiteral("Select LDN:"));
    std::vector<std::string> entries{kNoPort};
    for (const std::string& key : ownDeviceKeys(DeviceClass::PosPrinter)) {
        entries.push_back(key);
    }
    m_printerCount = static_cast<int>(entries.size()) - 1;
    for (const std::string& key : ownDeviceKeys(DeviceClass::CashDrawer)) {
        entries.push_back(key);
    }
    fillCombo(m_model, entries);
    m_port->setEnabled(false);
    m_name->setEnabled(false);
    m_signals->hide();
}

void AddDeviceDialog::modelChosen(int index) {
    const std::string chosen = m_model->itemText(index).toStdString();
    switch (m_mode) {
        case Mode::Printer:
            if (!keepsSearchModel(chosen)) {
                m_searchModel = chosen;
            }
            fillCombo(m_port, addPortList(AddPortOrder::AfterModelChoice));
            clearPortChoice();
            break;
        case Mode::Drawer:
            if (index == 0) {
                m_name->setEnabled(false);
            } else {
                printerChosenForDrawer(chosen);
            }
            break;
        case Mode::LogicalName: deviceChosenForName(index); break;
    }
}

void AddDeviceDialog::printerChosenForDrawer(const std::string& printerKeyName) {
    const DrawerChoice choice = choosePrinterForDrawer(printerKeyName);
    if (!m_presenter.report(this, choice)) {
        m_model->setCurrentIndex(0);
        m_name->setEnabled(false);
        return;
    }
    m_drawer = choice.drawer;
    m_name->setEnabled(true);
    const PortSettings& settings = m_drawer.settings;
    fillCombo(m_port, {settings.port});
    m_port->setCurrentIndex(0);
    m_comSettings->baudCombo()->clear();
    m_comSettings->baudCombo()->addItem(QString::number(settings.baudrate));
    // The drawer takes the printer's flow control as DTR/DSR whatever the
    // printer uses, until the printer's settings are next validated.
    m_comSettings->showSettings(settings);
    m_signals->showSignals(m_drawer.openSingle, m_drawer.pinSingle);
}

void AddDeviceDialog::deviceChosenForName(int index) {
    m_name->setEnabled(index != 0);
    if (index == 0 || index <= m_printerCount) {
        m_signals->hide();
        return;
    }
    const std::optional<DeviceView> view = viewDevice(m_model->itemText(index).toStdString());
    m_signals->showSignals(view ? view->openSingle : OpenSignalLow, view ? view->pinSingle : DrawerPin2);
    m_signals->setEnabled(false);
    m_signals->show();
}

void AddDeviceDialog::portChosen() {
    if (m_mode != Mode::Printer) {
        return;
    }
    const std::string port = m_port->currentText().toStdString();
    bool chosen = port != kNoPort;
    if (port == kUsbChoice) {
        chosen = chooseUsbPrinter();
    } else if (port == kNetChoice) {
        chosen = chooseNetworkPort();
    } else if (chosen) {
        chosen = m_presenter.report(this, checkPortForNewPrinter(port));
    }
    if (!chosen) {
        clearPortChoice();
        return;
    }
    m_name->setEnabled(true);
    m_comSettings->setControlsEnabled(port.find("COM") != std::string::npos);
}

void AddDeviceDialog::clearPortChoice() {
    m_port->setCurrentIndex(m_port->findText(QString::fromLatin1(kNoPort)));
    m_name->setEnabled(false);
    m_comSettings->setControlsEnabled(false);
}

bool AddDeviceDialog::chooseUsbPrinter() {
    UsbDeviceDialog dialog(m_searchModel, m_usbLibrary, m_presenter, this);
    if (!dialog.prepare() || dialog.exec() != QDialog::Accepted || dialog.printer().name.empty()) {
        return false;
    }
    m_usb = dialog.printer();
    return true;
}

bool AddDeviceDialog::chooseNetworkPort() {
    NetDeviceDialog dialog(m_presenter, this);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    m_networkPort = dialog.portText();
    return true;
}

void AddDeviceDialog::ok() {
    CreatedDevice created;
    switch (m_mode) {
        case Mode::Printer: created = addPrinter(); break;
        case Mode::Drawer: created = addDrawer(); break;
        case Mode::LogicalName: created = addName(); break;
    }
    if (m_presenter.report(this, created)) {
        accept();
    }
}

CreatedDevice AddDeviceDialog::addPrinter() {
    NewPrinter printer;
    printer.model = m_model->currentText().toStdString();
    printer.port = m_port->currentText().toStdString();
    if (printer.port == kNetChoice) {
        printer.port = m_networkPort;
    }
    printer.logicalName = m_name->text().toStdString();
    PortSettings line;
    m_comSettings->readSettings(&line);
    printer.baudrate = line.baudrate;
    printer.parity = line.parity;
    printer.handshake = line.handshake;
    printer.usb = m_usb;
    return createPrinter(printer);
}

CreatedDevice AddDeviceDialog::addDrawer() {
    NewDrawer drawer = m_drawer;
    if (m_model->currentIndex() <= 0) {
        drawer.printerKeyName.clear();
    }
    drawer.openSingle = m_signals->openSingle();
    drawer.pinSingle = m_signals->pinSingle();
    drawer.logicalName = m_name->text().toStdString();
    return createDrawer(drawer);
}

CreatedDevice AddDeviceDialog::addName() {
    const int index = m_model->currentIndex();
    const DeviceClass deviceClass = index > m_printerCount ? DeviceClass::CashDrawer : DeviceClass::PosPrinter;
    const std::string key = index <= 0 ? std::string() : m_model->currentText().toStdString();
    return addLogicalName(deviceClass, key, m_name->text().toStdString());
}

}  // namespace setup::gui
