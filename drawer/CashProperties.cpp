// The drawer's properties by index, and the freeze that holds its events.
#include "SOCvCash.h"

#include "common/OposConstants.h"
#include "drawer/PropertyTable.h"
#include "platform/strings.h"

namespace drawer {

using platform::S_OK;

HRESULT SOCvCash::GetPropertyNumber(LONG index, LONG* pNumber) {
    DrawerProperties properties;
    properties.claimed = m_claimed;
    properties.deviceEnabled = m_deviceEnabled;
    properties.freezeEvents = m_freezeEvents;
    // The result code is handed over once: reading it resets it.
    properties.resultCode = m_resultCode.exchange(common::OPOS_SUCCESS);
    properties.state = m_state;
    properties.powerState = m_powerState;
    properties.drawerOpened = m_drawerOpened;
    if (const auto property = readNumberProperty(properties, index)) {
        *pNumber = property->value;
        m_log.debug("<Cash.%s:%d", property->name, property->value);
    }
    return S_OK;
}

HRESULT SOCvCash::SetPropertyNumber(LONG index, LONG number) {
    if (index == common::PIDX_DeviceEnabled) {
        setDeviceEnabled(number);
        return S_OK;
    }
    if (index == common::PIDX_FreezeEvents) {
        m_freezeEvents = number;
        m_log.debug(">Cash.%s:%d", "FreezeEvents", number);
        wakeStatusThread();
        m_sendWake.set();
    }
    setResult(common::OPOS_SUCCESS);
    return S_OK;
}

HRESULT SOCvCash::GetPropertyString(LONG index, std::wstring* text) {
    // CheckHealthText is the one text the drawer keeps: the interactive
    // check's outcome would otherwise never reach the application.
    if (index == common::PIDX_CheckHealthText) {
        std::lock_guard lifecycle(m_lifecycleLock);
        *text = platform::toWide(m_healthText);
        m_log.debug("<Cash.%s:%s", "CheckHealthText", m_healthText.c_str());
    }
    setResult(common::OPOS_SUCCESS);
    return S_OK;
}

HRESULT SOCvCash::SetPropertyString(LONG index, const std::wstring& text) {
    m_log.debug("Cash.SetPropertyString(%d,\"%s\")", index, platform::toNarrow(text).c_str());
    setResult(common::OPOS_SUCCESS);
    m_log.debug("Cash.SetPropertyString:%d", common::OPOS_SUCCESS);
    return S_OK;
}

HRESULT SOCvCash::COFreezeEvents(LONG freeze, LONG* pRC) {
    m_log.debug("COFreezeEvents(%d,0x%02x)", freeze, static_cast<unsigned>(*pRC));
    // The control object's FreezeEvents property arrives here, so this is
    // where events are held back and let go.
    m_freezeEvents = freeze != 0 ? 1 : 0;
    wakeStatusThread();
    m_sendWake.set();
    setResult(common::OPOS_SUCCESS);
    *pRC = common::OPOS_SUCCESS;
    return S_OK;
}

}  // namespace drawer
