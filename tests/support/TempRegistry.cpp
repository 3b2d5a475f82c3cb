#include "support/TempRegistry.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

TempRegistry::TempRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cvopos-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder for the registry");
    }
    m_directory = pattern;
    m_path = m_directory + "/registry.db";
    if (const char* previous = std::getenv("CVOPOS_REGISTRY")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    setenv("CVOPOS_REGISTRY", m_path.c_str(), 1);
}

TempRegistry::~TempRegistry() {
    if (m_hadPrevious) {
        setenv("CVOPOS_REGISTRY", m_previous.c_str(), 1);
    } else {
        unsetenv("CVOPOS_REGISTRY");
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

}  // namespace testsupport
