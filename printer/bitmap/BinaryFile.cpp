#include "printer/bitmap/BinaryFile.h"

#include <cstdio>
#include <memory>
#include <new>

namespace printer {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

FileRead readBinaryFile(const std::string& path, std::size_t maxSize, std::vector<std::uint8_t>* bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return FileRead::OpenFailed;
    const std::unique_ptr<std::FILE, FileCloser> closer(file);
    if (std::fseek(file, 0, SEEK_END) != 0) return FileRead::ReadFailed;
    const long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) return FileRead::ReadFailed;
    if (static_cast<unsigned long>(size) > maxSize) return FileRead::TooLarge;
    try {
        bytes->resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return FileRead::TooLarge;
    }
    if (std::fread(bytes->data(), 1, bytes->size(), file) != bytes->size()) return FileRead::ReadFailed;
    return FileRead::Ok;
}

bool writeBinaryFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool appendToExistingFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    // "r+b" opens only an existing file; "ab" would create one.
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr) return false;
    const bool written =
        std::fseek(file, 0, SEEK_END) == 0 && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace printer
