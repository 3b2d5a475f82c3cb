#pragma once
// The one step of running a dialog that differs between backends: the
// system's own modal dialog, where there is one.
#include "platform/ui.h"

namespace platform::detail {

// Shows `description` as the system's modal dialog and returns true once it
// is closed, with `onStart` run for every press of Start. Returns false at
// once, showing nothing, when this process cannot show windows.
bool runSystemDialog(const DialogDescription& description, const DialogStart& onStart);

}  // namespace platform::detail
