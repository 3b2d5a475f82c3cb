#include "support/SystemComRegistration.h"

namespace testsupport {

SystemComRegistration::SystemComRegistration(std::vector<std::string>) {}

SystemComRegistration::~SystemComRegistration() = default;

bool SystemComRegistration::systemHasCom() { return false; }

}  // namespace testsupport
