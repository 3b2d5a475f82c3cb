#include "setup/gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "Ipv4AddressEdit.h"
#include "SettingControls.h"
#include "setup/core/DeviceCreation.h"
#include "setup/core/DeviceDeletion.h"
#include "setup/core/PortSetup.h"
#include "setup/gui/AboutBox.h"
#include "setup/gui/AddDeviceDialog.h"
#include "setup/gui/MessagePresenter.h"
#include "setup/gui/PortRangeSettingDialog.h"

namespace setup::gui {

namespace {

constexpr int kOutputIntervalLength = 4;

QPushButton* namedButton(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// Restores the arrow however the test ends.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

MainWindow::MainWindow(MessagePresenter& presenter, bool administrator, std::unique_ptr<DeviceTestHost> testHost,
                       QWidget* parent)
    : QMainWindow(parent), m_presenter(presenter), m_administrator(administrator), m_testHost(std::move(testHost)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Tessel OPOS ADK APG/CPG 1.7"));
    createMenus();

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("deviceTree"));
    m_tree->setHeaderHidden(true);
    m_tree->setMinimumWidth(200);
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->addWidget(m_tree, 1);
    layout->addWidget(createSettings());
    setCentralWidget(central);

    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { itemSelected(current); });
    for (QAction* action : {m_addPrinter, m_addDrawer, m_addName, m_portRange}) {
        action->setEnabled(m_administrator);
    }
    fillTree();
}

MainWindow::~MainWindow() = default;

void MainWindow::createMenus() {
    QMenu* device = menuBar()->addMenu(QStringLiteral("&Device"));
    device->setObjectName(QStringLiteral("deviceMenu"));
    m_addPrinter = device->addAction(QStringLiteral("Add &Printer...\tCtrl+P"));
    m_addPrinter->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    m_addPrinter->setObjectName(QStringLiteral("addPrinterAction"));
    m_addDrawer = device->addAction(QStringLiteral("Add Cash&Drawer...\tCtrl+D"));
    m_addDrawer->setShortcut(QKeySequence(QStringLiteral("Ctrl+D")));
    m_addDrawer->setObjectName(QStringLiteral("addDrawerAction"));
    m_addName = device->addAction(QStringLiteral("Add New &LDN...\tCtrl+L"));
    m_addName->setShortcut(QKeySequence(QStringLiteral("Ctrl+L")));
    m_addName->setObjectName(QStringLiteral("addLdnAction"));
    device->addSeparator();
    QAction* exit = device->addAction(QStringLiteral("&Exit\tCtrl+E"));
    exit->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    exit->setObjectName(QStringLiteral("exitAction"));

    QMenu* option = menuBar()->addMenu(QStringLiteral("&Option"));
    option->setObjectName(QStringLiteral("optionMenu"));
    m_portRange = option->addAction(QStringLiteral("&Port Range Setting..."));
    m_portRange->setObjectName(QStringLiteral("portRangeAction"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction* about = help->addAction(QStringLiteral("&About Tessel OPOS Setup..."));
    about->setObjectName(QStringLiteral("aboutAction"));

    connect(m_addPrinter, &QAction::triggered, this,
            [this] { addDevice(AddDeviceDialog::Mode::Printer); });
    connect(m_addDrawer, &QAction::triggered, this,
            [this] { addDevice(AddDeviceDialog::Mode::Drawer); });
    connect(m_addName, &QAction::triggered, this,
            [this] { addDevice(AddDeviceDialog::Mode::LogicalName); });
    connect(exit, &QAction::triggered, this, &QWidget::close);
    connect(m_portRange, &QAction::triggered, this, &MainWindow::portRange);
    connect(about, &QAction::triggered, this, &MainWindow::about);
}

QWidget* MainWindow::createSettings() {
    auto* panel = new QWidget(this);
    m_names = new QComboBox(panel);
    m_names->setObjectName(QStringLiteral("ldnCombo"));
    m_names->setMinimumContentsLength(15);
    m_delete = namedButton("Delete Device", "deleteButton", panel);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("LDN:"), panel));
    nameRow->addWidget(m_names, 1);
    nameRow->addWidget(m_delete);

    m_portGroup = new QGroupBox(QStringLiteral("Port Setting"), panel);
    m_portGroup->setObjectName(QStringLiteral("portGroup"));
    m_port = new QComboBox(m_portGroup);
    m_port->setObjectName(QStringLiteral("portCombo"));
    m_port->setMinimumContentsLength(10);
    m_address = new Ipv4AddressEdit(m_portGroup);
    m_address->setObjectName(QStringLiteral("addressEdit"));
    m_validate = namedButton("Validate the Port Setting", "validateButton", m_portGroup);
    m_comSettings = new ComSettingGroup(m_portGroup);
    // The address control takes the port list's place for network devices.
    auto* portField = new QHBoxLayout;
    portField->addWidget(m_port);
    portField->addWidget(m_address);
    auto* portRow = new QFormLayout;
    portRow->addRow(QStringLiteral("Port:"), portField);
    auto* portLayout = new QVBoxLayout(m_portGroup);
    portLayout->addLayout(portRow);
    portLayout->addWidget(m_comSettings);
    portLayout->addWidget(m_validate);

    m_signals = new DrawerSignalGroups(panel);
    m_outputInterval = new QLineEdit(QStringLiteral("5000"), panel);
    m_outputInterval->setObjectName(QStringLiteral("outputIntervalEdit"));
    m_outputInterval->setMaxLength(kOutputIntervalLength);
    m_outputInterval->setValidator(new QIntValidator(0, 9999, m_outputInterval));
    m_outputInterval->hide();
    m_checkHealth = namedButton("CheckHealth Interactive", "checkHealthButton", panel);

    auto* layout = new QVBoxLayout(panel);
    layout->addLayout(nameRow);
    layout->addWidget(m_portGroup);
    layout->addWidget(m_signals);
    layout->addWidget(m_outputInterval);
    layout->addWidget(m_checkHealth);
    layout->addStretch();

    connect(m_port, &QComboBox::activated, this, &MainWindow::portChosen);
    connect(m_validate, &QPushButton::clicked, this, &MainWindow::validate);
    connect(m_delete, &QPushButton::clicked, this, &MainWindow::deleteDevice);
    connect(m_checkHealth, &QPushButton::clicked, this, &MainWindow::testDevice);
    return panel;
}

void MainWindow::fillTree() {
    // Selection changes while the items go away must not show stale devices.
    const QSignalBlocker blocker(m_tree);
    m_tree->clear();
    auto* root = new QTreeWidgetItem(m_tree, {QStringLiteral("Device")});
    m_printers = new QTreeWidgetItem(root, {QStringLiteral("PosPrinter")});
    m_drawers = new QTreeWidgetItem(root, {QStringLiteral("CashDrawer")});
    for (const std::string& key : ownDeviceKeys(DeviceClass::PosPrinter)) {
        new QTreeWidgetItem(m_printers, {QString::fromStdString(key)});
    }
    for (const std::string& key : ownDeviceKeys(DeviceClass::CashDrawer)) {
        new QTreeWidgetItem(m_drawers, {QString::fromStdString(key)});
    }
    m_portList = mainPortList();
    root->setExpanded(true);
    clearSettings();
}

void MainWindow::clearSettings() {
    m_deviceKey.clear();
    m_storedPort.clear();
    m_shownPortIndex = -1;
    m_names->clear();
    m_port->clear();
    m_port->show();
    m_address->clear();
    m_address->hide();
    m_comSettings->clearLists();
    m_comSettings->setControlsEnabled(false);
    for (QWidget* control : std::initializer_list<QWidget*>{m_names, m_port, m_address, m_validate, m_delete,
                                                            m_checkHealth}) {
        control->setEnabled(false);
    }
    m_signals->hide();
}

void MainWindow::itemSelected(QTreeWidgetItem* item) {
    clearSettings();
    const bool isDevice = item != nullptr && (item->parent() == m_printers || item->parent() == m_drawers);
    if (!isDevice) {
        return;
    }
    const std::optional<DeviceView> view = viewDevice(item->text(0).toStdString());
    if (!view) {
        return;
    }
    m_deviceKey = view->keyName;
    m_deviceClass = view->deviceClass;
    if (view->deviceClass == DeviceClass::PosPrinter) {
        showPrinter(*view);
    } else {
        showDrawer(*view);
    }
}

void MainWindow::fillLogicalNames(const DeviceView& view) {
    m_names->setEnabled(true);
    for (const std::string& name : view.logicalNames) {
        m_names->addItem(QString::fromStdString(name));
    }
    m_names->setCurrentIndex(m_names->count() > 0 ? 0 : -1);
    m_checkHealth->setEnabled(true);
}

void MainWindow::showPrinter(const DeviceView& view) {
    fillLogicalNames(view);
    for (QWidget* control : std::initializer_list<QWidget*>{m_port, m_validate, m_delete}) {
        control->setEnabled(m_administrator);
    }
    m_comSettings->setControlsEnabled(m_administrator);
    m_comSettings->fillLists();
    m_comSettings->showSettings(view.settings);
    m_storedPort = view.portRead ? view.settings.port : std::string();
    const std::string kind = upper(m_storedPort);
    if (startsWith(kind, "USB") || startsWith(kind, "NET")) {
        m_port->addItem(QString::fromStdString(m_storedPort));
        m_port->setCurrentIndex(0);
        m_comSettings->setControlsEnabled(false);
        if (startsWith(kind, "USB")) {
            m_port->setEnabled(false);
            m_validate->setEnabled(false);
        } else {
            m_port->hide();
            m_address->show();
            m_address->setEnabled(m_administrator);
            m_address->setAddress(QString::fromStdString(m_storedPort.substr(3)));
        }
    } else {
        for (const std::string& port : m_portList) {
            m_port->addItem(QString::fromStdString(port));
        }
        m_port->setCurrentIndex(m_port->findText(QString::fromStdString(m_storedPort)));
        if (startsWith(kind, "LPT")) {
            m_comSettings->setControlsEnabled(false);
        }
    }
    m_shownPortIndex = m_port->currentIndex();
}

void MainWindow::showDrawer(const DeviceView& view) {
    fillLogicalNames(view);
    m_validate->setEnabled(true);
    m_delete->setEnabled(m_administrator);
    m_signals->showSignals(view.openSingle, view.pinSingle);
    m_signals->setEnabled(true);
    m_signals->show();
}

void MainWindow::portChosen(int index) {
    if (m_deviceKey.empty() || m_deviceClass != DeviceClass::PosPrinter) {
        return;
    }
    if (!m_presenter.report(this, checkPortChange(m_port->itemText(index).toStdString()))) {
        m_port->setCurrentIndex(m_shownPortIndex);
    }
    m_comSettings->setControlsEnabled(m_port->currentText().contains(QStringLiteral("COM")));
}

void MainWindow::validate() {
    if (m_deviceKey.empty()) {
        return;
    }
    m_validate->setEnabled(false);
    if (m_deviceClass == DeviceClass::CashDrawer) {
        m_presenter.report(this, modifyDrawerSignals(m_deviceKey, m_signals->openSingle(), m_signals->pinSingle()));
    } else {
        PortSettings settings;
        const bool network = startsWith(upper(m_storedPort), "NET");
        settings.port = network ? m_address->portText() : m_port->currentText().toStdString();
        m_comSettings->readSettings(&settings);
        if (m_presenter.report(this, modifyPrinterPort(m_deviceKey, settings))) {
            m_storedPort = settings.port;
            if (network) {
                m_port->setItemText(0, QString::fromStdString(settings.port));
            }
            m_shownPortIndex = m_port->currentIndex();
        } else if (network) {
            m_address->setAddress(QString::fromStdString(m_storedPort.substr(3)));
        }
    }
    m_validate->setEnabled(true);
}

void MainWindow::deleteDevice() {
    if (m_deviceKey.empty()) {
        return;
    }
    const Outcome outcome = setup::deleteDevice(
        m_deviceClass, m_deviceKey, m_names->currentText().toStdString(),
        [this](const Message& question) { return m_presenter.confirm(this, question); });
    if (!outcome.success && !outcome.hasMessage()) {
        return;
    }
    m_presenter.report(this, outcome);
    fillTree();
    m_printers->setExpanded(true);
    m_drawers->setExpanded(true);
}

void MainWindow::testDevice() {
    if (m_deviceKey.empty() || !m_testHost) {
        return;
    }
    Outcome outcome;
    {
        const WaitCursor wait;
        outcome = runDeviceTest(*m_testHost, m_deviceKey, m_names->currentText().toStdString());
    }
    m_presenter.report(this, outcome);
}

void MainWindow::addDevice(AddDeviceDialog::Mode dialogMode) {
    if (dialogMode != AddDeviceDialog::Mode::Printer && !m_presenter.report(this, checkPrinterDefined())) {
        return;
    }
    m_tree->setCurrentItem(nullptr);
    clearSettings();
    AddDeviceDialog dialog(dialogMode, m_presenter, this);
    if (dialog.exec() == QDialog::Accepted) {
        fillTree();
    }
}

void MainWindow::portRange() {
    PortRangeSettingDialog dialog(m_presenter, this);
    if (dialog.exec() == QDialog::Accepted) {
        fillTree();
    }
}

void MainWindow::about() {
    AboutBox box(this);
    box.exec();
}

}  // namespace setup::gui
