#pragma once
// The controls the main window and the add dialog share: the "COM Setting"
// group, the cash drawer's two radio pairs.
#include <QGroupBox>

#include "setup/core/SchemaTerms.h"

class QComboBox;
class QHBoxLayout;
class QPushButton;
class QRadioButton;

namespace setup::gui {

class ComSettingGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit ComSettingGroup(QWidget* parent = nullptr);

    // The full lists, nothing selected beyond the first entries.
    void fillLists();
    void clearLists();
    // Selects the stored values; a baud rate not offered leaves its
    // selection as it was.
    void showSettings(const PortSettings& settings);
    // Writes the chosen baud rate, flow control and parity over `settings`.
    void readSettings(PortSettings* settings) const;
    void setControlsEnabled(bool enabled);

    QComboBox* baudCombo() const { return m_baud; }

private:
    QComboBox* m_baud;
    QComboBox* m_dataBits;
    QComboBox* m_stopBits;
    QComboBox* m_flow;
    QComboBox* m_parity;
};

// "Open Status Phase" (Low/High) and "Connector Pin" (2/5).
class DrawerSignalGroups : public QWidget {
    Q_OBJECT
public:
    explicit DrawerSignalGroups(QWidget* parent = nullptr);

    void showSignals(DWORD openSingle, DWORD pinSingle);
    DWORD openSingle() const;
    DWORD pinSingle() const;

private:
    QRadioButton* m_low;
    QRadioButton* m_high;
    QRadioButton* m_pin2;
    QRadioButton* m_pin5;
};

// The OK/Cancel row a dialog ends with, right-aligned, OK the default button;
// the buttons carry the object names the tests look for.
struct DialogButtons {
    QPushButton* ok;
    QPushButton* cancel;
    QHBoxLayout* row;
};
DialogButtons makeDialogButtons(QWidget* dialog, const QString& okText, const QString& cancelText);

}  // namespace setup::gui
