#include "support/TempFolder.h"

#include <filesystem>
#include <random>
#include <stdexcept>

namespace testsupport {

std::string makeTempFolder(const std::string& prefix) {
    const std::filesystem::path parent = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder = parent / (prefix + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(folder, error)) {
            // Only the owner inside, as mkdtemp makes it; a test that lets
            // another user in opens it up itself.
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
            return folder.string();
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

}  // namespace testsupport
