#include "Ipv4AddressEdit.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

#include "setup/core/PortSetup.h"

namespace setup::gui {

namespace {

int fieldValue(const QLineEdit* field) {
    bool isNumber = false;
    const int value = field->text().toInt(&isNumber);
    return isNumber ? value : 0;
}

}  // namespace

Ipv4AddressEdit::Ipv4AddressEdit(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("addressField%1").arg(i));
        field->setMaxLength(3);
        field->setValidator(new QIntValidator(0, 255, field));
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 8);
        layout->addWidget(field);
        if (i + 1 < m_fields.size()) {
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        }
        m_fields[i] = field;
    }
    layout->addStretch();
}

void Ipv4AddressEdit::setAddress(const QString& dotted) {
    const QStringList parts = dotted.split(QLatin1Char('.'));
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i]->setText(i < static_cast<std::size_t>(parts.size()) ? parts[static_cast<int>(i)] : QString());
    }
}

std::string Ipv4AddressEdit::portText() const {
    return networkPortText(fieldValue(m_fields[0]), fieldValue(m_fields[1]), fieldValue(m_fields[2]),
                           fieldValue(m_fields[3]));
}

void Ipv4AddressEdit::clear() {
    for (QLineEdit* field : m_fields) {
        field->clear();
    }
}

}  // namespace setup::gui
