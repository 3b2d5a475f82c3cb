// The libraries built here must load our own libraries, never one of the
// same name that happens to sit in the current directory.
#include <gtest/gtest.h>
#include <link.h>

#include <string>
#include <vector>

#include "portlink/portlink.h"

namespace porttest {
namespace {

struct RunPath {
    std::string object;
    std::string path;
};

int collect(dl_phdr_info* info, size_t, void* data) {
    const std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    if (name.find(CVOPOS_BUILD_DIR) != 0) {
        return 0;
    }
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type != PT_DYNAMIC) {
            continue;
        }
        const auto* dynamic = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
        const char* strings = nullptr;
        std::vector<ElfW(Xword)> offsets;
        for (; dynamic->d_tag != DT_NULL; ++dynamic) {
            if (dynamic->d_tag == DT_STRTAB) {
                strings = reinterpret_cast<const char*>(dynamic->d_un.d_ptr);
            } else if (dynamic->d_tag == DT_RUNPATH || dynamic->d_tag == DT_RPATH) {
                offsets.push_back(dynamic->d_un.d_val);
            }
        }
        for (const ElfW(Xword) offset : offsets) {
            static_cast<std::vector<RunPath>*>(data)->push_back({name, strings + offset});
        }
    }
    return 0;
}

TEST(RunPathTest, OurLibrariesNameOnlyOurOwnFolders) {
    // Linked in, so loaded.
    ASSERT_NE(&OpenPort, nullptr);
    std::vector<RunPath> found;
    dl_iterate_phdr(collect, &found);
    ASSERT_FALSE(found.empty());
    for (const RunPath& runPath : found) {
        const std::string entries = ":" + runPath.path + ":";
        EXPECT_EQ(entries.find("::"), std::string::npos) << runPath.object << ": " << runPath.path;
        for (std::size_t at = 1; at < entries.size();) {
            const std::size_t end = entries.find(':', at);
            const std::string entry = entries.substr(at, end - at);
            EXPECT_TRUE(entry == "$ORIGIN" || entry.find(CVOPOS_BUILD_DIR) == 0) << runPath.object << ": " << entry;
            at = end + 1;
        }
    }
}

}  // namespace
}  // namespace porttest
