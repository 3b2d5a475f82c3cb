#pragma once
// Points the registry store at a fresh file in a private temporary folder for
// the lifetime of the object, and restores the previous setting afterwards.
// Tests that touch the registry hold one, so they never see the machine's
// store or each other's keys.
#include <string>

namespace testsupport {

class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::string& directory() const { return m_directory; }
    const std::string& path() const { return m_path; }

private:
    std::string m_directory;
    std::string m_path;
    std::string m_previous;
    bool m_hadPrevious = false;
};

}  // namespace testsupport
