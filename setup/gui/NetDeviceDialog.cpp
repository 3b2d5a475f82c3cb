#include "setup/gui/NetDeviceDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "Ipv4AddressEdit.h"
#include "setup/core/PortSetup.h"
#include "setup/gui/MessagePresenter.h"
#include "SettingControls.h"

namespace setup::gui {

NetDeviceDialog::NetDeviceDialog(MessagePresenter& presenter, QWidget* parent)
    : QDialog(parent), m_presenter(presenter), m_address(new Ipv4AddressEdit(this)) {
    setObjectName(QStringLiteral("netDeviceDialog"));
    setWindowTitle(QStringLiteral("Add NET Device"));
    m_address->setObjectName(QStringLiteral("addressEdit"));
    auto* group = new QGroupBox(QStringLiteral("Network Setting"), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_address);
    const auto [okButton, cancelButton, buttons] = makeDialogButtons(this, QStringLiteral("OK"), QStringLiteral("Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    connect(okButton, &QPushButton::clicked, this, &NetDeviceDialog::ok);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void NetDeviceDialog::ok() {
    const std::string portText = m_address->portText();
    if (!m_presenter.report(this, checkNetworkPortForNewPrinter(portText))) {
        return;
    }
    m_portText = portText;
    accept();
}

}  // namespace setup::gui
