#include "SystemDialog.h"

namespace platform::detail {

// A POSIX process has no system dialog to show: the host that has a window
// or a terminal registers its provider, and without one the dialog runs
// headless.
bool runSystemDialog(const DialogDescription&, const DialogStart&) {
    return false;
}

}  // namespace platform::detail
