#include "PortDevicePath.h"

namespace platform::detail {

// On Windows the port is its own device ("\\.\COM12" reaches ports above
// COM9 too); a map value redirects it, as on the other platform.
std::string defaultPortDevicePath(const std::string& prefix, int number) {
    return "\\\\.\\" + prefix + std::to_string(number);
}

}  // namespace platform::detail
