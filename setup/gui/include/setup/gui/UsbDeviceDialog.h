#pragma once
// "Add USB Device": finds the one USB printer attached and confirms it.
#include <QDialog>

#include "setup/core/UsbSearch.h"

class QLineEdit;

namespace setup::gui {

class MessagePresenter;

class UsbDeviceDialog : public QDialog {
    Q_OBJECT
public:
    UsbDeviceDialog(const std::string& model, const std::string& library, MessagePresenter& presenter,
                    QWidget* parent = nullptr);

    // Refused (with its message shown) when eight USB printers are defined;
    // the dialog is then not to be shown.
    bool prepare();

    const UsbPrinter& printer() const { return m_search.printer(); }

private:
    void search();
    void ok();

    MessagePresenter& m_presenter;
    UsbSearch m_search;
    QLineEdit* m_name;
};

}  // namespace setup::gui
