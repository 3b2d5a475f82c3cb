#include "setup/core/PortRangeDialog.h"

#include "MessageTexts.h"
#include "setup/core/SchemaTerms.h"
#include "setup/core/PortSetup.h"

namespace setup {

namespace {

bool comInRange(DWORD value) { return value >= 1 && value <= kHighestComPort; }
bool lptInRange(DWORD value) { return value >= 1 && value <= kHighestLptPort; }

}  // namespace

PortRangeDialog::PortRangeDialog() : m_shown{kDefaultComMax, kDefaultLptMax} {
    RegKey key;
    if (key.open(platform::HKLM, kPortRangePath, platform::KEY_READ) == platform::ERROR_SUCCESS) {
        DWORD stored = 0;
        if (key.readDword(kComMaxValue, &stored) == platform::ERROR_SUCCESS) {
            m_shown.comMax = stored > kHighestComPort ? kDefaultComMax : stored;
        }
        if (key.readDword(kLptMaxValue, &stored) == platform::ERROR_SUCCESS) {
            m_shown.lptMax = stored > kHighestLptPort ? kDefaultLptMax : stored;
        }
    }
    m_fields = m_shown;
}

Outcome PortRangeDialog::typeCom(DWORD value) {
    m_fields.comMax = value > kHighestComPort ? kDefaultComMax : value;
    return comInRange(value) ? Outcome::done() : Outcome::refused(text::ComMaxRange, MessageIcon::Warning);
}

Outcome PortRangeDialog::typeLpt(DWORD value) {
    m_fields.lptMax = value > kHighestLptPort ? kDefaultLptMax : value;
    return lptInRange(value) ? Outcome::done() : Outcome::refused(text::LptMaxRange, MessageIcon::Warning);
}

Outcome PortRangeDialog::comDefault() {
    if (highestPortsInUse().com > kDefaultComMax) {
        return Outcome::refused(text::ComMaxBelowUse, MessageIcon::Error);
    }
    m_fields.comMax = kDefaultComMax;
    return Outcome::done();
}

Outcome PortRangeDialog::lptDefault() {
    if (highestPortsInUse().lpt > kDefaultLptMax) {
        return Outcome::refused(text::LptMaxBelowUse, MessageIcon::Error);
    }
    m_fields.lptMax = kDefaultLptMax;
    return Outcome::done();
}

Outcome PortRangeDialog::ok() {
    // Whatever a front end let through, only a range the port lists and the
    // port library understand is ever written.
    if (!comInRange(m_fields.comMax)) {
        return Outcome::refused(text::ComMaxRange, MessageIcon::Warning);
    }
    if (!lptInRange(m_fields.lptMax)) {
        return Outcome::refused(text::LptMaxRange, MessageIcon::Warning);
    }
    const HighestPorts inUse = highestPortsInUse();
    if (m_fields.comMax < inUse.com) {
        m_fields.comMax = m_shown.comMax;
        return Outcome::refused(text::ComMaxBelowUse, MessageIcon::Error);
    }
    if (m_fields.lptMax < inUse.lpt) {
        m_fields.lptMax = m_shown.lptMax;
        return Outcome::refused(text::LptMaxBelowUse, MessageIcon::Error);
    }
    if (writePortRange(m_fields) != platform::ERROR_SUCCESS) {
        return Outcome::refused(text::CouldNotModify);
    }
    return Outcome::done();
}

}  // namespace setup
