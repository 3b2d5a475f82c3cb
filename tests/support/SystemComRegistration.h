#pragma once
// Service object modules registered with the system's COM for as long as
// the object lives (DllRegisterServer, then DllUnregisterServer), so control
// objects create them through COM as on a till. Where the system has no COM
// (Linux) there is nothing to register, and control objects load the module
// the suite's registry names.
#include <string>
#include <vector>

namespace testsupport {

class SystemComRegistration {
public:
    // Each module by its path; a module that cannot be registered fails
    // the test.
    explicit SystemComRegistration(std::vector<std::string> modulePaths);
    ~SystemComRegistration();
    SystemComRegistration(const SystemComRegistration&) = delete;
    SystemComRegistration& operator=(const SystemComRegistration&) = delete;

    // Whether this system registers modules with COM at all.
    static bool systemHasCom();

private:
    std::vector<std::string> m_modules;
};

}  // namespace testsupport
