#pragma once
// tillsetup's main window: the device tree, the selected device's names and
// port settings, and the add, delete, port range and device test commands.
// Every action reads and writes the registry through setupcore; the window
// remembers nothing the registry does not hold.
#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "setup/core/DeviceTest.h"
#include "setup/core/DeviceTree.h"
#include "setup/gui/AddDeviceDialog.h"
#include "setup/gui/DialogProvider.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace setup::gui {

class ComSettingGroup;
class DrawerSignalGroups;
class Ipv4AddressEdit;
class MessagePresenter;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `administrator`: whether the user may change the configuration (the
    // caller asks the system; tests choose). `testHost` holds the control
    // objects the device test drives, for the life of the window.
    MainWindow(MessagePresenter& presenter, bool administrator, std::unique_ptr<DeviceTestHost> testHost,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // Rebuilds the tree from the registry and clears the settings controls.
    void fillTree();

private:
    void createMenus();
    QWidget* createSettings();
    void clearSettings();
    void itemSelected(QTreeWidgetItem* item);
    void showPrinter(const DeviceView& view);
    void showDrawer(const DeviceView& view);
    void fillLogicalNames(const DeviceView& view);
    void portChosen(int index);
    void validate();
    void deleteDevice();
    void testDevice();
    void addDevice(AddDeviceDialog::Mode mode);
    void portRange();
    void about();

    MessagePresenter& m_presenter;
    const bool m_administrator;
    std::unique_ptr<DeviceTestHost> m_testHost;
    DialogProviderRegistration m_dialogProvider;

    QAction* m_addPrinter = nullptr;
    QAction* m_addDrawer = nullptr;
    QAction* m_addName = nullptr;
    QAction* m_portRange = nullptr;
    QTreeWidget* m_tree = nullptr;
    QTreeWidgetItem* m_printers = nullptr;
    QTreeWidgetItem* m_drawers = nullptr;
    QComboBox* m_names = nullptr;
    QPushButton* m_delete = nullptr;
    QGroupBox* m_portGroup = nullptr;
    QComboBox* m_port = nullptr;
    Ipv4AddressEdit* m_address = nullptr;
    QPushButton* m_validate = nullptr;
    ComSettingGroup* m_comSettings = nullptr;
    DrawerSignalGroups* m_signals = nullptr;
    QLineEdit* m_outputInterval = nullptr;
    QPushButton* m_checkHealth = nullptr;

    std::vector<std::string> m_portList;
    // The device shown, and its port as stored: a refused port change or
    // network address goes back to it.
    std::string m_deviceKey;
    DeviceClass m_deviceClass = DeviceClass::PosPrinter;
    std::string m_storedPort;
    int m_shownPortIndex = -1;
};

}  // namespace setup::gui
