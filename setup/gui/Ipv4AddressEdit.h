#pragma once
// An IPv4 address control: four number fields of 0-255 separated by dots.
// An empty field counts as 0, as in the address control installers know.
#include <QWidget>
#include <array>

class QLineEdit;

namespace setup::gui {

class Ipv4AddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit Ipv4AddressEdit(QWidget* parent = nullptr);

    // "a.b.c.d"; fields beyond four or not numbers are ignored.
    void setAddress(const QString& dotted);
    // "NET" and the four fields, as the registry stores a network port.
    std::string portText() const;
    void clear();

private:
    std::array<QLineEdit*, 4> m_fields{};
};

}  // namespace setup::gui
