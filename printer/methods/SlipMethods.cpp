// F60's slip station: BeginInsertion selects the slip and waits for the
// form, EndInsertion lets slip output through, BeginRemoval ejects it and
// waits until it is out, EndRemoval closes the cycle. The waits poll the
// slip sensor the status monitor keeps.
#include "PosPrinter.h"
#include "common/OposConstants.h"

namespace printer {

using namespace common;
using platform::S_FALSE;
using platform::S_OK;

namespace {

constexpr const char* kEnd = "";
constexpr LONG kSlipPollMs = 100;
// Slip sensor states.
constexpr std::int32_t kNoSlip = 2;
constexpr std::int32_t kSlipInserted = 3;
constexpr std::int32_t kSlipOut = 4;
// Insertion and removal states.
constexpr LONG kBegun = 1;
constexpr LONG kEnded = 2;

}  // namespace

std::int32_t PosPrinter::slipState() const { return m_shared ? m_shared->slipSensorState.load() : 0; }

// The wait ends on the wanted state, or once (checks + 1) x 100 ms reach a
// positive timeout; a release ends it too, so a closing application is
// never held by a form that never comes.
bool PosPrinter::waitForSlip(LONG timeout, std::int32_t wanted, std::int32_t alsoWanted) {
    for (LONG checks = 0;; ++checks) {
        const std::int32_t state = slipState();
        if (state == wanted || state == alsoWanted) {
            return true;
        }
        if (timeout != OPOS_FOREVER && (checks + 1) * kSlipPollMs >= timeout) {
            return false;
        }
        if (!m_shared || m_shared->exitFlag.load() != 0) {
            return false;
        }
        platform::sleepMs(kSlipPollMs);
    }
}

HRESULT PosPrinter::BeginInsertion(LONG timeout, LONG* pRC) {
    m_log->debug("BeginInsertion(%d,0x%02x)", timeout, 0);
    if (m_model.number != model::F60 || timeout < OPOS_FOREVER) {
        m_log->error("BeginInsertion end E_ILLEGAL:%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (!enabledFor("BeginInsertion", "is FALSE", pRC, common::level::debug)) {
        return S_FALSE;
    }
    static constexpr std::uint8_t kSelectSlip[] = {0x1B, 0x63, 0x30, 0x04};
    m_log->debug("DoBeginInsertion() ok");
    if (PrintJob(kSelectSlip, job_mode::NORMAL) != 0) {
        m_log->error("BeginInsertion select slip station fail%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (timeout == 0) {
        if (slipState() == kSlipInserted) {
            m_insertionState = kBegun;
            m_log->debug("BeginInsertion complete in Timeout:0%s", kEnd);
            return answer(pRC, OPOS_SUCCESS, S_OK);
        }
        m_log->error("BeginInsertion end in Timeout:0%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    const bool inserted = waitForSlip(timeout, kSlipInserted, kSlipInserted);
    m_insertionState = kBegun;
    if (!inserted) {
        m_log->error("BeginInsertion Timeout:%d%s", timeout, kEnd);
        return answer(pRC, OPOS_E_TIMEOUT, S_FALSE);
    }
    m_log->debug("BeginInsertion complete in Timeout:%d%s", timeout, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::EndInsertion(LONG* pRC) {
    m_log->debug("EndInsertion(0x%02x)", 0);
    if (!enabledFor("EndInsertion", "is FALSE", pRC)) {
        return S_FALSE;
    }
    if (m_insertionState != kBegun) {
        m_log->error("EndInsertion:E_ILLEGAL%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_insertionState = kEnded;
    m_log->debug("EndInsertion end:%d%s", OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::BeginRemoval(LONG timeout, LONG* pRC) {
    m_log->debug("BeginRemoval(%d,0x%02x)", timeout, 0);
    if (m_model.number != model::F60 || timeout < OPOS_FOREVER) {
        m_log->error("BeginRemoval end E_ILLEGAL:%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (!enabledFor("BeginRemoval", "is FALSE", pRC)) {
        return S_FALSE;
    }
    static constexpr std::uint8_t kEject[] = {0x1B, 0x3D, 0x01, 0x0C};
    m_log->debug("DoBeginRemoval() ok");
    if (PrintJob(kEject, job_mode::NORMAL) != 0) {
        m_log->error("BeginInsertion select slip station fail%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (timeout == 0) {
        const std::int32_t state = slipState();
        if (state == kSlipOut || state == kNoSlip) {
            m_removalState = kBegun;
            return answer(pRC, OPOS_SUCCESS, S_OK);
        }
        m_log->error("BeginRemoval end in Timeout:0%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    if (m_insertionState != kEnded) {
        m_log->error("BeginRemoval E_ILLEGAL%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    const bool removed = waitForSlip(timeout, kSlipOut, kNoSlip);
    m_removalState = kBegun;
    if (!removed) {
        m_log->error("BeginRemoval Timeout:%d%s", timeout, kEnd);
        return answer(pRC, OPOS_E_TIMEOUT, S_FALSE);
    }
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

HRESULT PosPrinter::EndRemoval(LONG* pRC) {
    m_log->debug("EndRemoval(0x%02x)", 0);
    if (!enabledFor("EndRemoval", "is FALSE", pRC)) {
        return S_FALSE;
    }
    if (m_removalState != kBegun) {
        m_log->error("EndInsertion:E_ILLEGAL%s", kEnd);
        return answer(pRC, OPOS_E_FAILURE, S_FALSE);
    }
    m_removalState = kEnded;
    m_log->debug("EndRemoval end:%d%s", OPOS_SUCCESS, kEnd);
    return answer(pRC, OPOS_SUCCESS, S_OK);
}

}  // namespace printer
