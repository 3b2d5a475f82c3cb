#pragma once
// Whether another process holds a serial line, as the port holder helper
// holds it: on Linux a lock on the line, on Windows the port opened for
// exclusive use.
#include <chrono>
#include <string>

namespace devicetest {

// `line` is the device the port map names. A probe that gets the line lets
// go of it at once.
bool waitUntilHeldElsewhere(const std::string& line, std::chrono::milliseconds timeout);

}  // namespace devicetest
