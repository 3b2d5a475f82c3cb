#include "support/TempRegistry.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "platform/environment.h"
#include "platform/paths.h"

namespace testsupport {

namespace {

// A new folder of a random name in the user's private temporary folder.
std::string makeFolder() {
    std::string parent;
    if (platform::tempDirectory(&parent) != platform::ERROR_SUCCESS) {
        throw std::runtime_error("no private temporary folder for the registry");
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder =
            std::filesystem::path(parent) / ("cvopos-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(folder, error)) {
            return folder.string();
        }
    }
    throw std::runtime_error("cannot create a temporary folder for the registry");
}

}  // namespace

TempRegistry::TempRegistry() {
    m_directory = makeFolder();
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
