#pragma once
// Stores a canvas as a palette PNG, in memory or in a file.
#include <cstdint>
#include <string>
#include <vector>

#include "Canvas.h"

namespace emulator {

// False, with `error` set, only when libpng fails (out of memory).
bool encodePng(const Canvas& canvas, std::vector<std::uint8_t>* png, std::string* error);

// False, with `error` set, when the file cannot be written; a file written
// only in part is removed.
bool writePngFile(const Canvas& canvas, const std::string& path, std::string* error);

}  // namespace emulator
