#pragma once
// The printer a test drives: on Windows (under Wine) the Linux emulator
// program, through its stand-in.
#include <cstdint>
#include <memory>
#include <string>

#include "support/RemotePrinter.h"

namespace testsupport {

using PrinterUnderTest = RemotePrinter;

// COM ports are the Wine prefix's own devices: `linkFolder` is not needed.
inline std::unique_ptr<PrinterUnderTest> makePrinterUnderTest(const std::string& modelCode,
                                                              const std::string& /*linkFolder*/,
                                                              std::uint32_t internalId = 0) {
    return std::make_unique<RemotePrinter>(modelCode, internalId);
}

}  // namespace testsupport
