#pragma once
// The number properties the drawer answers, by property index.
#include <optional>

#include "common/OposConstants.h"
#include "platform/types.h"

namespace drawer {

using platform::LONG;

inline constexpr LONG kServiceObjectVersion = 1007000;

// The instance's property values at the moment of a read.
struct DrawerProperties {
    LONG claimed = 0;
    LONG deviceEnabled = 0;
    LONG freezeEvents = 0;
    LONG resultCode = 0;
    LONG state = common::OPOS_S_IDLE;
    LONG powerState = common::OPOS_PS_UNKNOWN;
    LONG drawerOpened = 0;
};

struct NumberProperty {
    const char* name;  // as the property trace and the read log show it
    LONG value;
};

// Nothing for an index the drawer does not serve; its caller leaves the
// caller's number as it was.
std::optional<NumberProperty> readNumberProperty(const DrawerProperties& properties, LONG index);

}  // namespace drawer
