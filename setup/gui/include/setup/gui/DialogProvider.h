#pragma once
// Shows the service objects' interactive dialogs (the health checks) as Qt
// dialogs owned by the active window, for as long as a registration lives.
#include <QDialog>

#include "platform/ui.h"

class QLineEdit;

namespace setup::gui {

class HealthCheckDialog : public QDialog {
    Q_OBJECT
public:
    HealthCheckDialog(const platform::DialogDescription& description, platform::DialogStart pressStart,
                      QWidget* parent = nullptr);

private:
    void start();

    platform::DialogStart m_pressStart;
    QLineEdit* m_result;
};

// Registers the Qt provider and puts the previous one back when destroyed.
// The dialogs run on the GUI thread, where the window drives the device
// test; service objects call their dialog from the test's own call.
class DialogProviderRegistration {
public:
    DialogProviderRegistration();
    ~DialogProviderRegistration();
    DialogProviderRegistration(const DialogProviderRegistration&) = delete;
    DialogProviderRegistration& operator=(const DialogProviderRegistration&) = delete;

private:
    platform::DialogProvider m_previous;
};

}  // namespace setup::gui
