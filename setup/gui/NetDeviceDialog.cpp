#include "setup/gui/NetDeviceDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "Ipv4AddressEdit.h"
#include "setup/core/PortSetup.h"
#include "setup/gui/MessagePresenter.h"

namespace setup::gui {

NetDeviceDialog::NetDeviceDialog(MessagePresenter& presenter, QWidget* parent)
    : QDialog(parent), m_presenter(presenter), m_address(new Ipv4AddressEdit(this)) {
    setObjectName(QStringLiteral("netDeviceDialog"));
    setWindowTitle(QStringLiteral("Add NET Device"));
    m_address->setObjectName(QStringLiteral("addressEdit"));
    auto* group = new QGroupBox(QStringLiteral("Network Setting"), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_address);
    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
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
