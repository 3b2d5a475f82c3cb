#pragma once
// "Add NET Device": the address of a network printer being added. OK is
// refused while another printer has the address.
#include <QDialog>
#include <string>

namespace setup::gui {

class Ipv4AddressEdit;
class MessagePresenter;

class NetDeviceDialog : public QDialog {
    Q_OBJECT
public:
    NetDeviceDialog(MessagePresenter& presenter, QWidget* parent = nullptr);

    // "NET" and the address, once OK was accepted.
    const std::string& portText() const { return m_portText; }

private:
    void ok();

    MessagePresenter& m_presenter;
    Ipv4AddressEdit* m_address;
    std::string m_portText;
};

}  // namespace setup::gui
