#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/paths.h"
#include "support/TempFolder.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class PrivateDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { m_parent = testsupport::makeTempFolder("paths-test-"); }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_parent, ignored);
    }
    std::string m_parent;
};

TEST_F(PrivateDirectoryTest, CreatesTheFolderOnceAndReusesIt) {
    std::string path;
    ASSERT_EQ(privateDirectoryIn(m_parent, &path), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(m_parent));
    EXPECT_EQ(fs::path(path).filename().string().rfind("cvopos-", 0), 0u) << path;

    std::string again;
    EXPECT_EQ(privateDirectoryIn(m_parent + "\\", &again), ERROR_SUCCESS) << "an existing one is reused";
    EXPECT_EQ(again, path);
}

TEST_F(PrivateDirectoryTest, RefusesAFileInPlaceOfTheFolderAndAMissingParent) {
    std::string path;
    ASSERT_EQ(privateDirectoryIn(m_parent, &path), ERROR_SUCCESS);
    fs::remove(path);
    std::ofstream(path) << "planted";
    std::string refused = "untouched";
    EXPECT_EQ(privateDirectoryIn(m_parent, &refused), ERROR_ACCESS_DENIED);
    EXPECT_EQ(refused, "untouched");

    EXPECT_EQ(privateDirectoryIn(m_parent + "\\missing", &refused), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(privateDirectoryIn(m_parent, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(TempDirectory, IsAFolderOfTheSuiteInTheUsersTemporaryFolder) {
    std::string path;
    ASSERT_EQ(tempDirectory(&path), ERROR_SUCCESS);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.back(), '\\') << "callers append a file name";
    EXPECT_TRUE(fs::is_directory(path));
    const auto folded = [](fs::path folder) {
        std::string text = folder.make_preferred().string();
        while (!text.empty() && text.back() == '\\') {
            text.pop_back();
        }
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    };
    EXPECT_EQ(folded(fs::path(path).parent_path().parent_path()), folded(fs::temp_directory_path()));
}

TEST_F(PrivateDirectoryTest, TempFileNamesAreNewEmptyFilesOfDistinctNames) {
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string path;
        ASSERT_EQ(tempFileName(m_parent, "bmp", &path), ERROR_SUCCESS);
        EXPECT_EQ(fs::file_size(path), 0u);
        const std::string name = fs::path(path).filename().string();
        EXPECT_EQ(name.rfind("bmp", 0), 0u) << name;
        EXPECT_EQ(name.size(), 3u + 6u + 4u) << name;
        EXPECT_TRUE(names.insert(path).second) << path;
    }
    std::string path;
    EXPECT_EQ(tempFileName(m_parent, "a\\b", &path), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tempFileName(m_parent, "a/b", &path), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tempFileName("", "bmp", &path), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tempFileName(m_parent + "\\missing", "bmp", &path), ERROR_PATH_NOT_FOUND);
}

}  // namespace
