// tillsetup: the configuration utility for the suite's printers and cash
// drawers.
#include <string>
#include <vector>

#include "CommandLineMain.h"
#include "setup/gui/SetupWindow.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() && setup::gui::displayAvailable()) {
        return setup::gui::runSetupWindow(argc, argv);
    }
    return setup::commandLineMain(args);
}
