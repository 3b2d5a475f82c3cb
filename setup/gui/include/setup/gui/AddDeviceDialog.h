#pragma once
// "Add New Device" / "Add New LDN": adds a printer, a cash drawer driven
// through a printer, or a further logical device name. The dialog ends with
// OK only after the registry was written.
#include <QDialog>
#include <string>

#include "setup/core/DeviceCreation.h"
#include "setup/core/UsbSearch.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace setup::gui {

class ComSettingGroup;
class DrawerSignalGroups;
class MessagePresenter;

class AddDeviceDialog : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Printer, Drawer, LogicalName };

    AddDeviceDialog(Mode mode, MessagePresenter& presenter, QWidget* parent = nullptr,
                    std::string usbLibrary = kUsbLinkLibrary);

private:
    void fillForPrinter();
    void fillForDrawer();
    void fillForLogicalName();
    void modelChosen(int index);
    void printerChosenForDrawer(const std::string& printerKeyName);
    void deviceChosenForName(int index);
    void portChosen();
    // The port went back to "NONE": nothing to name yet.
    void clearPortChoice();
    bool chooseUsbPrinter();
    bool chooseNetworkPort();
    void ok();
    CreatedDevice addPrinter();
    CreatedDevice addDrawer();
    CreatedDevice addName();

    Mode m_mode;
    MessagePresenter& m_presenter;
    std::string m_usbLibrary;
    QGroupBox* m_group;
    QLabel* m_modelLabel;
    QComboBox* m_model;
    QComboBox* m_port;
    QLineEdit* m_name;
    ComSettingGroup* m_comSettings;
    DrawerSignalGroups* m_signals;
    // The model the USB search looks for: models without a USB block of
    // their own leave the previous choice.
    std::string m_searchModel;
    int m_printerCount = 0;
    UsbPrinter m_usb;
    std::string m_networkPort;
    NewDrawer m_drawer;
};

}  // namespace setup::gui
