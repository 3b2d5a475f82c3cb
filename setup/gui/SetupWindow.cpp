#include "setup/gui/SetupWindow.h"

#include <QApplication>
#include <cstdlib>

#include "platform/threads.h"
#include "setup/core/ControlObjectHost.h"
#include "setup/core/DriverService.h"
#include "setup/gui/MainWindow.h"
#include "setup/gui/MessagePresenter.h"

namespace setup::gui {

namespace {

bool environmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool displayAvailable() {
    return environmentSet("DISPLAY") || environmentSet("WAYLAND_DISPLAY") || environmentSet("QT_QPA_PLATFORM");
}

int runSetupWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    MessageBoxPresenter presenter;
    PlatformServiceControl services;
    if (!presenter.report(nullptr, prepareDriverService(services, std::string(), platform::sleepMs))) {
        return 1;
    }
    MainWindow window(presenter, isAdministrator(), std::make_unique<ControlObjectHost>());
    window.show();
    return QApplication::exec();
}

}  // namespace setup::gui
