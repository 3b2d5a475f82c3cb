#include "support/TempRegistry.h"

#include <cstdlib>
#include <filesystem>

#include "platform/environment.h"
#include "support/TempFolder.h"

namespace testsupport {

TempRegistry::TempRegistry() {
    m_directory = makeTempFolder("cvopos-test-");
    m_path = (std::filesystem::path(m_directory) / "registry.db").string();
    if (const char* previous = std::getenv("CVOPOS_REGISTRY")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    platform::setEnvironmentVariable("CVOPOS_REGISTRY", m_path.c_str());
}

TempRegistry::~TempRegistry() {
    platform::setEnvironmentVariable("CVOPOS_REGISTRY", m_hadPrevious ? m_previous.c_str() : nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

}  // namespace testsupport
