#pragma once
// The printer a test drives: on Linux the virtual printer in the test's own
// process.
#include <cstdint>
#include <memory>
#include <string>

#include "support/emulator/LocalPrinter.h"

namespace testsupport {

using PrinterUnderTest = LocalPrinter;

// `linkFolder`: where serial lines are published (a test's own folder).
inline std::unique_ptr<PrinterUnderTest> makePrinterUnderTest(const std::string& modelCode,
                                                              const std::string& linkFolder,
                                                              std::uint32_t internalId = 0) {
    return std::make_unique<LocalPrinter>(modelCode, linkFolder, internalId);
}

}  // namespace testsupport
