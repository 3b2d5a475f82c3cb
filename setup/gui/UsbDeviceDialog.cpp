#include "setup/gui/UsbDeviceDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "setup/gui/MessagePresenter.h"

namespace setup::gui {

UsbDeviceDialog::UsbDeviceDialog(const std::string& model, const std::string& library, MessagePresenter& presenter,
                                 QWidget* parent)
    : QDialog(parent), m_presenter(presenter), m_search(model, library), m_name(new QLineEdit(this)) {
    setObjectName(QStringLiteral("usbDeviceDialog"));
    setWindowTitle(QStringLiteral("Add USB Device"));
    m_name->setObjectName(QStringLiteral("usbNameEdit"));
    m_name->setReadOnly(true);
    auto* searchButton = new QPushButton(QStringLiteral("Search"), this);
    searchButton->setObjectName(QStringLiteral("searchButton"));
    auto* group = new QGroupBox(QStringLiteral("Searching and Adding  USB Device"), this);
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(searchButton);
    groupLayout->addWidget(m_name);
    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    connect(searchButton, &QPushButton::clicked, this, &UsbDeviceDialog::search);
    connect(okButton, &QPushButton::clicked, this, &UsbDeviceDialog::ok);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

bool UsbDeviceDialog::prepare() { return m_presenter.report(parentWidget(), m_search.open()); }

void UsbDeviceDialog::search() {
    m_presenter.report(this, m_search.search());
    m_name->setText(QString::fromStdString(m_search.foundName()));
}

void UsbDeviceDialog::ok() {
    m_presenter.report(this, m_search.confirm());
    accept();
}

}  // namespace setup::gui
