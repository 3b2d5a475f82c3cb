#include "drawer/PropertyTable.h"

namespace drawer {

std::optional<NumberProperty> readNumberProperty(const DrawerProperties& properties, LONG index) {
    switch (index) {
    case common::PIDX_Claimed:
        return NumberProperty{"Claimed", properties.claimed};
    case common::PIDX_DeviceEnabled:
        return NumberProperty{"DeviceEnabled", properties.deviceEnabled};
    case common::PIDX_FreezeEvents:
        return NumberProperty{"FreezeEvents", properties.freezeEvents};
    case common::PIDX_ResultCode:
        return NumberProperty{"ResultCode", properties.resultCode};
    case common::PIDX_ServiceObjectVersion:
        return NumberProperty{"ServiceObjectVersion", kServiceObjectVersion};
    case common::PIDX_State:
        return NumberProperty{"State", properties.state};
    case common::PIDX_PowerState:
        return NumberProperty{"PowerState", properties.powerState};
    case common::PIDXCash_DrawerOpened:
        return NumberProperty{"DrawerOpened", properties.drawerOpened};
    case common::PIDXCash_CapStatus:
        return NumberProperty{"CapStatus", 1};
    case common::PIDXCash_CapStatusMultiDrawerDetect:
        return NumberProperty{"CapStatusMultiDrawerDetect", 0};
    default:
        return std::nullopt;
    }
}

}  // namespace drawer
