// Draws the reference receipt: emulator_reference_receipt [OUT.png [MODEL]]
// (default reference-receipt.png and the H81) and prints its transcript.
#include <cstdio>
#include <exception>
#include <string>

#include "emulator/ModelCatalogue.h"
#include "emulator/ReferenceReceipt.h"
#include "emulator/VirtualPrinter.h"

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "reference-receipt.png";
    const std::string model = argc > 2 ? argv[2] : "H81";
    if (argc > 3 || emulator::findModel(model) == nullptr) {
        std::fprintf(stderr, "usage: %s [OUT.png [MODEL]]  (MODEL: H81, K93, F60, ...)\n", argv[0]);
        return 2;
    }
    try {
        emulator::VirtualPrinter printer(model);
        printer.receive(emulator::referenceReceipt(*emulator::findModel(model)));
        std::string error;
        if (!printer.writePng(path, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::fputs(printer.transcript().c_str(), stdout);
        std::printf("picture written to %s\n", path.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
