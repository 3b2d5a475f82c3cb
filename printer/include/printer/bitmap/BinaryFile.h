#pragma once
// Whole-file reads and writes for the bitmap pipeline, with the size limits
// that keep a hostile file from exhausting memory.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace printer {

enum class FileRead { Ok, OpenFailed, TooLarge, ReadFailed };

// Reads the whole file into `bytes`; TooLarge (nothing read) above
// `maxSize` bytes.
FileRead readBinaryFile(const std::string& path, std::size_t maxSize, std::vector<std::uint8_t>* bytes);

// Creates or truncates the file and writes `bytes`; false unless all were
// written and the file closed cleanly.
bool writeBinaryFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Appends to a file that must exist already; false when it does not or the
// bytes could not all be written.
bool appendToExistingFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace printer
