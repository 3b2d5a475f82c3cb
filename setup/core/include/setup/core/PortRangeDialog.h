#pragma once
// The rules of the "Port Range Setting" dialog: how many COM and LPT ports
// the lists offer. The dialog keeps the two values it opened with, so that
// a refused OK can put a field back.
#include "setup/core/Outcome.h"
#include "setup/core/SchemaTerms.h"

namespace setup {

using platform::DWORD;

class PortRangeDialog {
public:
    // Opening: the stored maxima, or 4 and 2 when the port range key cannot
    // be opened (a value missing from an existing key shows its default).
    PortRangeDialog();

    DWORD comField() const { return m_fields.comMax; }
    DWORD lptField() const { return m_fields.lptMax; }

    // Typing into a field: a COM value above 40 becomes 4, an LPT value of 5
    // or more becomes 2. A value outside 1-40 (1-4) is refused with the
    // field-validation message; the field keeps it (after the replacement)
    // and OK stays refused until it is mended.
    Outcome typeCom(DWORD value);
    Outcome typeLpt(DWORD value);

    // "COM Default" / "LPT Default": 4 (2), unless a printer uses a higher
    // port; then the error message and the field's previous value.
    Outcome comDefault();
    Outcome lptDefault();

    // "&Ok": refuses a maximum below a port in use (the field returns to the
    // value it opened with) or outside its range; otherwise writes both
    // values, creating the key when missing.
    Outcome ok();

private:
    PortRange m_shown;
    PortRange m_fields;
};

}  // namespace setup
