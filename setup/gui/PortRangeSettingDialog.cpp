#include "setup/gui/PortRangeSettingDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "setup/gui/MessagePresenter.h"
#include "SettingControls.h"

namespace setup::gui {

namespace {

constexpr DWORD kHighestCom = 40;
constexpr DWORD kHighestLpt = 4;

QToolButton* arrowButton(Qt::ArrowType arrow, const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFixedSize(16, 11);
    return button;
}

}  // namespace

PortRangeSettingDialog::PortRangeSettingDialog(MessagePresenter& presenter, QWidget* parent)
    : QDialog(parent),
      m_presenter(presenter),
      m_com{nullptr, &PortRangeDialog::typeCom, &PortRangeDialog::comDefault, &PortRangeDialog::comField, kHighestCom},
      m_lpt{nullptr, &PortRangeDialog::typeLpt, &PortRangeDialog::lptDefault, &PortRangeDialog::lptField,
            kHighestLpt} {
    setObjectName(QStringLiteral("portRangeDialog"));
    setWindowTitle(QStringLiteral("Port Range Setting"));
    auto* comDefault = new QPushButton(QStringLiteral("COM Default"), this);
    comDefault->setObjectName(QStringLiteral("comDefaultButton"));
    auto* lptDefault = new QPushButton(QStringLiteral("LPT Default"), this);
    lptDefault->setObjectName(QStringLiteral("lptDefaultButton"));
    auto* form = new QFormLayout;
    auto* comRow = new QHBoxLayout;
    comRow->addWidget(fieldRow(m_com, "com"));
    comRow->addWidget(comDefault);
    auto* lptRow = new QHBoxLayout;
    lptRow->addWidget(fieldRow(m_lpt, "lpt"));
    lptRow->addWidget(lptDefault);
    form->addRow(QStringLiteral("Maximum COM Ports"), comRow);
    form->addRow(QStringLiteral("Maximum LPT Ports"), lptRow);
    const auto [okButton, cancelButton, buttons] = makeDialogButtons(this, QStringLiteral("&Ok"), QStringLiteral("&Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(comDefault, &QPushButton::clicked, this, [this] { setDefault(m_com); });
    connect(lptDefault, &QPushButton::clicked, this, [this] { setDefault(m_lpt); });
    connect(okButton, &QPushButton::clicked, this, &PortRangeSettingDialog::ok);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    showFields();
}

QWidget* PortRangeSettingDialog::fieldRow(Field& field, const char* name) {
    auto* row = new QWidget(this);
    field.edit = new QLineEdit(row);
    field.edit->setObjectName(QStringLiteral("%1Edit").arg(QLatin1String(name)));
    field.edit->setMaxLength(2);
    field.edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field.edit));
    auto* up = arrowButton(Qt::UpArrow, QStringLiteral("%1UpButton").arg(QLatin1String(name)), row);
    auto* down = arrowButton(Qt::DownArrow, QStringLiteral("%1DownButton").arg(QLatin1String(name)), row);
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    arrows->addWidget(up);
    arrows->addWidget(down);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(field.edit);
    layout->addLayout(arrows);
    connect(field.edit, &QLineEdit::textEdited, this, [this, &field] { typed(field); });
    connect(up, &QToolButton::clicked, this, [this, &field] { step(field, 1); });
    connect(down, &QToolButton::clicked, this, [this, &field] { step(field, -1); });
    return row;
}

void PortRangeSettingDialog::typed(Field& field) {
    if (field.edit->text().isEmpty()) {
        return;
    }
    const Outcome outcome = (m_dialog.*field.type)(field.edit->text().toULong());
    // The replacement (50 -> 4) is shown before the complaint, so that the
    // box explains the value the installer now sees.
    field.edit->setText(QString::number((m_dialog.*field.value)()));
    m_presenter.report(this, outcome);
}

void PortRangeSettingDialog::step(Field& field, int delta) {
    const long next = std::clamp<long>(static_cast<long>((m_dialog.*field.value)()) + delta, 1,
                                       static_cast<long>(field.highest));
    m_presenter.report(this, (m_dialog.*field.type)(static_cast<DWORD>(next)));
    field.edit->setText(QString::number((m_dialog.*field.value)()));
}

void PortRangeSettingDialog::setDefault(Field& field) {
    m_presenter.report(this, (m_dialog.*field.setDefault)());
    field.edit->setText(QString::number((m_dialog.*field.value)()));
}

void PortRangeSettingDialog::ok() {
    const bool written = m_presenter.report(this, m_dialog.ok());
    showFields();
    if (written) {
        accept();
    }
}

void PortRangeSettingDialog::showFields() {
    m_com.edit->setText(QString::number(m_dialog.comField()));
    m_lpt.edit->setText(QString::number(m_dialog.lptField()));
}

}  // namespace setup::gui
