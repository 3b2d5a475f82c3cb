#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/paths.h"

using namespace platform;

namespace {

std::string makeScratchFolder() {
    std::string pattern = "/tmp/cvopos-paths-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    return pattern;
}

struct stat statOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

class PrivateDirectoryTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(m_parent); }

    std::string expectedFolder() const { return m_parent + "/cvopos-" + std::to_string(::geteuid()); }

    std::string m_parent = makeScratchFolder();
};

TEST_F(PrivateDirectoryTest, CreatesAFolderOnlyTheUserCanEnterWhateverTheUmask) {
    const mode_t previousMask = ::umask(0777);
    std::string path;
    const LONG status = privateDirectoryIn(m_parent, &path);
    ::umask(previousMask);

    ASSERT_EQ(status, ERROR_SUCCESS);
    EXPECT_EQ(path, expectedFolder());
    const struct stat info = statOf(path);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, ::geteuid());

    std::string again;
    EXPECT_EQ(privateDirectoryIn(m_parent + "/", &again), ERROR_SUCCESS) << "an existing one is reused";
    EXPECT_EQ(again, path);
}

TEST_F(PrivateDirectoryTest, RefusesAFolderSomeoneElseCouldHavePlanted) {
    const std::string folder = expectedFolder();
    auto refused = [&] {
        std::string path = "untouched";
        const LONG status = privateDirectoryIn(m_parent, &path);
        EXPECT_EQ(path, "untouched");
        return status == ERROR_ACCESS_DENIED;
    };

    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_TRUE(refused()) << "readable by others";
    ASSERT_EQ(::chmod(folder.c_str(), 01700), 0);
    EXPECT_TRUE(refused()) << "extra mode bits";
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_TRUE(refused()) << "owned by another user";
    }
    std::filesystem::remove_all(folder);

    const std::string target = m_parent + "/elsewhere";
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(target.c_str(), folder.c_str()), 0);
    EXPECT_TRUE(refused()) << "a symbolic link, even to a private folder";
    ASSERT_EQ(::unlink(folder.c_str()), 0);

    FILE* file = std::fopen(folder.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(refused()) << "not a directory";
}

TEST_F(PrivateDirectoryTest, AMissingParentIsPathNotFound) {
    std::string path;
    EXPECT_EQ(privateDirectoryIn(m_parent + "/missing", &path), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(privateDirectoryIn(m_parent, nullptr), ERROR_INVALID_PARAMETER);
}

class TempDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* value = std::getenv("XDG_RUNTIME_DIR")) {
            m_saved = value;
        }
    }
    void TearDown() override {
        if (m_saved) {
            setenv("XDG_RUNTIME_DIR", m_saved->c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        std::filesystem::remove_all(m_runtime);
    }

    std::optional<std::string> m_saved;
    std::string m_runtime = makeScratchFolder();  // mkdtemp makes it 0700
};

TEST_F(TempDirectoryTest, UsesXdgRuntimeDirOnlyWhenItIsPrivate) {
    const std::string fallback = "/tmp/cvopos-" + std::to_string(::geteuid()) + "/";
    std::string path;

    setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
    ASSERT_EQ(tempDirectory(&path), ERROR_SUCCESS);
    EXPECT_EQ(path, m_runtime + "/");

    ASSERT_EQ(::chmod(m_runtime.c_str(), 0755), 0);
    ASSERT_EQ(tempDirectory(&path), ERROR_SUCCESS);
    EXPECT_EQ(path, fallback);

    ASSERT_EQ(::chmod(m_runtime.c_str(), 0700), 0);
    setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
    ASSERT_EQ(tempDirectory(&path), ERROR_SUCCESS);
    EXPECT_EQ(path, fallback);

    unsetenv("XDG_RUNTIME_DIR");
    ASSERT_EQ(tempDirectory(&path), ERROR_SUCCESS);
    EXPECT_EQ(path, fallback);
    EXPECT_EQ(statOf(fallback).st_mode & 07777, 0700u);
}

TEST_F(TempDirectoryTest, TempFileNameCreatesDistinctPrivateFiles) {
    std::string first;
    std::string second;
    ASSERT_EQ(tempFileName(m_runtime, "bmp", &first), ERROR_SUCCESS);
    ASSERT_EQ(tempFileName(m_runtime + "/", "bmp", &second), ERROR_SUCCESS);
    EXPECT_NE(first, second);
    for (const std::string& path : {first, second}) {
        EXPECT_EQ(path.rfind(m_runtime + "/bmp", 0), 0u) << path;
        EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
        const struct stat info = statOf(path);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_size, 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }

    std::string untouched = "untouched";
    EXPECT_EQ(tempFileName(m_runtime, "../x", &untouched), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tempFileName("", "bmp", &untouched), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tempFileName(m_runtime + "/missing", "bmp", &untouched), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(untouched, "untouched");
}

}  // namespace
