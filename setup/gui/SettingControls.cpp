#include "SettingControls.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>

#include "setup/core/PortSetup.h"

namespace setup::gui {

namespace {

constexpr DWORD kBaudrates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

QComboBox* namedCombo(const char* name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setMinimumContentsLength(8);
    return combo;
}

QRadioButton* namedRadio(const char* text, const char* name, QWidget* parent) {
    auto* radio = new QRadioButton(QString::fromLatin1(text), parent);
    radio->setObjectName(QString::fromLatin1(name));
    return radio;
}

}  // namespace

ComSettingGroup::ComSettingGroup(QWidget* parent)
    : QGroupBox(QStringLiteral("COM Setting"), parent),
      m_baud(namedCombo("baudCombo", this)),
      m_dataBits(namedCombo("dataBitsCombo", this)),
      m_stopBits(namedCombo("stopBitsCombo", this)),
      m_flow(namedCombo("flowCombo", this)),
      m_parity(namedCombo("parityCombo", this)) {
    setObjectName(QStringLiteral("comGroup"));
    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Bits Per Second:"), m_baud);
    layout->addRow(QStringLiteral("Data Bits:"), m_dataBits);
    layout->addRow(QStringLiteral("Stop Bits:"), m_stopBits);
    layout->addRow(QStringLiteral("Flow Control:"), m_flow);
    layout->addRow(QStringLiteral("Parity:"), m_parity);
}

void ComSettingGroup::fillLists() {
    clearLists();
    for (DWORD baudrate : kBaudrates) {
        m_baud->addItem(QString::number(baudrate));
    }
    m_dataBits->addItem(QString::number(kBitLength));
    m_stopBits->addItem(QString::number(kStopBit));
    for (const char* entry : kFlowControlEntries) {
        m_flow->addItem(QString::fromLatin1(entry));
    }
    for (const char* entry : kParityEntries) {
        m_parity->addItem(QString::fromLatin1(entry));
    }
}

void ComSettingGroup::clearLists() {
    for (QComboBox* combo : {m_baud, m_dataBits, m_stopBits, m_flow, m_parity}) {
        combo->clear();
    }
}

void ComSettingGroup::showSettings(const PortSettings& settings) {
    const int baud = m_baud->findText(QString::number(settings.baudrate));
    if (baud >= 0) {
        m_baud->setCurrentIndex(baud);
    }
    m_dataBits->setCurrentIndex(0);
    m_stopBits->setCurrentIndex(0);
    if (settings.handshake < kFlowControlEntries.size()) {
        m_flow->setCurrentIndex(static_cast<int>(settings.handshake));
    }
    if (settings.parity < kParityEntries.size()) {
        m_parity->setCurrentIndex(static_cast<int>(settings.parity));
    }
}

void ComSettingGroup::readSettings(PortSettings* settings) const {
    bool isNumber = false;
    const DWORD baudrate = m_baud->currentText().toULong(&isNumber);
    if (isNumber) {
        settings->baudrate = baudrate;
    }
    if (m_flow->currentIndex() >= 0) {
        settings->handshake = static_cast<DWORD>(m_flow->currentIndex());
    }
    if (m_parity->currentIndex() >= 0) {
        settings->parity = static_cast<DWORD>(m_parity->currentIndex());
    }
}

void ComSettingGroup::setControlsEnabled(bool enabled) {
    for (QComboBox* combo : {m_baud, m_dataBits, m_stopBits, m_flow, m_parity}) {
        combo->setEnabled(enabled);
    }
}

DrawerSignalGroups::DrawerSignalGroups(QWidget* parent)
    : QWidget(parent),
      m_low(namedRadio("Low", "openLowRadio", this)),
      m_high(namedRadio("High", "openHighRadio", this)),
      m_pin2(namedRadio("2", "pin2Radio", this)),
      m_pin5(namedRadio("5", "pin5Radio", this)) {
    setObjectName(QStringLiteral("drawerSignals"));
    auto* phase = new QGroupBox(QStringLiteral("Open Status Phase"), this);
    phase->setObjectName(QStringLiteral("openPhaseGroup"));
    auto* phaseLayout = new QHBoxLayout(phase);
    phaseLayout->addWidget(m_low);
    phaseLayout->addWidget(m_high);
    auto* pin = new QGroupBox(QStringLiteral("Connector Pin"), this);
    pin->setObjectName(QStringLiteral("connectorPinGroup"));
    auto* pinLayout = new QHBoxLayout(pin);
    pinLayout->addWidget(m_pin2);
    pinLayout->addWidget(m_pin5);
    // The two pairs sit in one widget, so each needs its own exclusive group.
    auto* phaseButtons = new QButtonGroup(this);
    phaseButtons->addButton(m_low);
    phaseButtons->addButton(m_high);
    auto* pinButtons = new QButtonGroup(this);
    pinButtons->addButton(m_pin2);
    pinButtons->addButton(m_pin5);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(phase);
    layout->addWidget(pin);
    showSignals(OpenSignalLow, DrawerPin2);
}

void DrawerSignalGroups::showSignals(DWORD openSingle, DWORD pinSingle) {
    (openSingle == OpenSignalHigh ? m_high : m_low)->setChecked(true);
    (pinSingle == DrawerPin5 ? m_pin5 : m_pin2)->setChecked(true);
}

DWORD DrawerSignalGroups::openSingle() const { return m_high->isChecked() ? OpenSignalHigh : OpenSignalLow; }

DWORD DrawerSignalGroups::pinSingle() const { return m_pin2->isChecked() ? DrawerPin2 : DrawerPin5; }

DialogButtons makeDialogButtons(QWidget* dialog, const QString& okText, const QString& cancelText) {
    auto* ok = new QPushButton(okText, dialog);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(cancelText, dialog);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return {ok, cancel, row};
}

}  // namespace setup::gui
