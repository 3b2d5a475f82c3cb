#pragma once
// The in-memory dialog template of a DialogDescription, as DialogBoxIndirect
// takes it: a DLGTEMPLATE followed by one DLGITEMTEMPLATE per control, every
// string in UTF-16 and every item on a DWORD boundary.
#include <windows.h>

#include <vector>

#include "platform/ui.h"

namespace platform::detail {

// Control identifiers of the check dialog: Start is IDOK and the default
// button (Enter presses it), Close is IDCANCEL (Escape and the caption's
// close box end the dialog as the button does).
constexpr int kDialogStartId = IDOK;
constexpr int kDialogCloseId = IDCANCEL;
constexpr int kDialogResultId = 202;

// The caption in "MS Sans Serif" 8, the static texts top to bottom, Start
// and Close side by side, then the result label over its read-only field.
// With two texts this is the layout of the printer's check dialog. The
// buffer is WORD-typed, so its start is aligned as the template must be.
std::vector<WORD> buildDialogTemplate(const DialogDescription& description);

}  // namespace platform::detail
