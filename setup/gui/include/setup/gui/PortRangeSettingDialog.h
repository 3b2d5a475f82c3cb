#pragma once
// "Port Range Setting": how many COM and LPT ports the lists offer.
#include <QDialog>

#include "setup/core/PortRangeDialog.h"

class QLineEdit;

namespace setup::gui {

class MessagePresenter;

class PortRangeSettingDialog : public QDialog {
    Q_OBJECT
public:
    PortRangeSettingDialog(MessagePresenter& presenter, QWidget* parent = nullptr);

private:
    // One "Maximum ... Ports" field with its spin arrows.
    struct Field {
        QLineEdit* edit;
        Outcome (PortRangeDialog::*type)(DWORD);
        Outcome (PortRangeDialog::*setDefault)();
        DWORD (PortRangeDialog::*value)() const;
        DWORD highest;
    };
    QWidget* fieldRow(Field& field, const char* name);
    void typed(Field& field);
    void step(Field& field, int delta);
    void setDefault(Field& field);
    void ok();
    void showFields();

    MessagePresenter& m_presenter;
    PortRangeDialog m_dialog;
    Field m_com;
    Field m_lpt;
};

}  // namespace setup::gui
