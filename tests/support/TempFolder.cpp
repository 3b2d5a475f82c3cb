#include "support/TempFolder.h"

#include <filesystem>
#include <random>
#include <stdexcept>

#include "platform/paths.h"

namespace testsupport {

std::string makeTempFolder(const std::string& prefix) {
    std::string parent;
    if (platform::tempDirectory(&parent) != platform::ERROR_SUCCESS) {
        throw std::runtime_error("no private temporary folder");
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder = std::filesystem::path(parent) / (prefix + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(folder, error)) {
            return folder.string();
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

}  // namespace testsupport
