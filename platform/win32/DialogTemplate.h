#pragma once
// The in-memory dialog template of a DialogDescription, as DialogBoxIndirect
// takes it: a DLGTEMPLATE followed by one DLGITEMTEMPLATE per control, every
// string in UTF-16 and every item on a DWORD boundary.
#include <windows.h>

#include <vector>

#include "platform/ui.h"

namespace platform::detail {

// Control identifiers: Close is IDCANCEL, so that Escape and the caption's
// close box end the dialog as the button does.
constexpr int kDialogStartId = 1001;
constexpr int kDialogCloseId = IDCANCEL;
constexpr int kDialogResultId = 1002;

// The caption, the static texts top to bottom, the result label and its
// read-only field, then Start (the default button) and Close. The buffer is
// WORD-typed, so its start is aligned as the template must be.
std::vector<WORD> buildDialogTemplate(const DialogDescription& description);

}  // namespace platform::detail
