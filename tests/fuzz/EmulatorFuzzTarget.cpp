// Random bytes for the virtual printer. The first two bytes pick the model
// and a chunk size; the rest is printer data, fed once whole and once in
// chunks. Besides not crashing or hanging, the two printers must agree
// (framing never depends on how data arrives), keep within their memory
// bound, and draw their paper.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "emulator/ModelCatalogue.h"
#include "emulator/VirtualPrinter.h"
#include "platform/paths.h"

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

const std::string& picturePath() {
    static const std::string path = [] {
        std::string directory;
        std::string file;
        require(platform::tempDirectory(&directory) == 0, "temporary directory");
        require(platform::tempFileName(directory, "fuzzpaper", &file) == 0, "temporary file");
        return file;
    }();
    return path;
}

struct RemovePicture {
    ~RemovePicture() { std::remove(picturePath().c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static RemovePicture cleanup;
    if (size < 2) return 0;
    const auto models = emulator::modelCatalogue();
    const std::string model(models[data[0] % models.size()].code);
    const std::size_t chunk = data[1] % 97 + 1;
    const std::span<const std::uint8_t> input(data + 2, size - 2);

    emulator::VirtualPrinter whole(model);
    std::size_t answered = 0;
    whole.setHostSink([&answered](std::span<const std::uint8_t> bytes) { answered += bytes.size(); });
    whole.receive(input);

    emulator::VirtualPrinter split(model);
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        split.receive(input.subspan(at, std::min(chunk, input.size() - at)));
    }

    require(whole.transcript() == split.transcript(), "chunked data reads as the whole");
    require(whole.unknownCommands() == split.unknownCommands(), "same unknown commands");
    require(whole.receivedBytes().size() == input.size(), "every byte kept");
    require(whole.retainedBytes() <= emulator::VirtualPrinter::kMaxRetainedBytes, "memory bound");
    // Drawing is what can go wrong; the file is written now and then only,
    // since file systems are slow.
    static unsigned runs = 0;
    std::string error;
    emulator::Bytes png;
    require(whole.renderPng(&png, &error), error.c_str());
    if (++runs % 64 == 0) require(whole.writePng(picturePath(), &error), error.c_str());
    return 0;
}
