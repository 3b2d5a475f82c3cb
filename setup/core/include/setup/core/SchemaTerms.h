#pragma once
// The setup tool exists to edit the device registry, so it speaks the
// schema's terms (key paths, value names, port settings, the key wrapper)
// throughout without qualifying each one.
#include "schema/DeviceEntry.h"
#include "schema/PortName.h"
#include "schema/PortRange.h"
#include "schema/RegKey.h"
#include "schema/RegistrySchema.h"

namespace setup {
using namespace schema;
}  // namespace setup
