#pragma once
// Entry point of tillsetup's window, for the program's main when it starts
// without arguments on a display.

namespace setup::gui {

// Whether a display is there to show the window on.
bool displayAvailable();

// Runs the driver service start-up step, then the main window until it is
// closed; returns the program's exit code.
int runSetupWindow(int argc, char** argv);

}  // namespace setup::gui
