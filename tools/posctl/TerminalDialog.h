#pragma once
// posctl's dialog provider: a service object's dialog (the interactive
// health check) shown as text on the terminal, its buttons chosen by typing
// their name or first letter.
#include <istream>
#include <ostream>

#include "platform/ui.h"

namespace posctl {

// The provider reads the person's answers from `in` and writes the dialog to
// `out`; both must outlive it. The end of `in` closes the dialog.
platform::DialogProvider terminalDialogProvider(std::istream& in, std::ostream& out);

}  // namespace posctl
