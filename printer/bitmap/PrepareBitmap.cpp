#include "printer/bitmap/PrepareBitmap.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/InstallDirectory.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "printer/ModelCatalogue.h"
#include "printer/bitmap/BinaryFile.h"
#include "printer/bitmap/BitImageEncoder.h"
#include "printer/bitmap/ImageLibraries.h"
#include "printer/bitmap/JpegSource.h"

namespace printer {

namespace {

constexpr const char* kEnd = "";

enum class SourceKind { Bmp, Jpeg };

// A scratch file of a name unique to the call, in the private temporary
// directory; removed when the call ends, whichever way it ends.
class ScratchFile {
public:
    ScratchFile() = default;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile()
    {
        if (!m_path.empty()) std::remove(m_path.c_str());
    }
    bool create(const std::string& directory, const char* prefix)
    {
        return platform::tempFileName(directory, prefix, &m_path) == platform::ERROR_SUCCESS;
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Zeroed by the allocator: pages the halftoner does not write are never
// touched, so the buffer's generous size costs little.
struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};
using WorkBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

enum class PaletteOrder { Normal, Reverse, Other };

PaletteOrder paletteOrder(const Dib& dib)
{
    constexpr PaletteEntry black{0, 0, 0};
    constexpr PaletteEntry white{0xFF, 0xFF, 0xFF};
    if (dib.paletteCount < 2) return PaletteOrder::Other;
    if (dib.palette[0] == black && dib.palette[1] == white) return PaletteOrder::Normal;
    if (dib.palette[0] == white && dib.palette[1] == black) return PaletteOrder::Reverse;
    return PaletteOrder::Other;
}

void logOther(EncodeLog* log, const char* format, const std::string& name, const Dib& dib)
{
    const PaletteEntry& a = dib.palette[0];
    const PaletteEntry& b = dib.palette[1];
    logDebug(log, format, name.c_str(), a.blue, a.green, a.red, b.blue, b.green, b.red);
}

// A 1-bit source is used as it is, except that a white-then-black palette
// is turned into black-then-white (index 0 is what prints).
void useBinarySource(Dib& dib, const std::string& name, EncodeLog* log)
{
    switch (paletteOrder(dib)) {
    case PaletteOrder::Normal:
        logDebug(log, "PrintBitmapToRAM:BMP(\"%s\") re=-3 Normal ReverseFlag", name.c_str());
        logDebug(log, "prePrepareBmp binary image -3 %s", name.c_str());
        break;
    case PaletteOrder::Reverse:
        logDebug(log, "PrintBitmapToRAM:BMP(\"%s\") re=-3 Reverse ReverseFlag", name.c_str());
        for (std::uint8_t& byte : dib.bits) byte = static_cast<std::uint8_t>(~byte);
        std::swap(dib.palette[0], dib.palette[1]);
        logDebug(log, "prePrepareBmp binary image -3 %s , %s", name.c_str(), kEnd);
        break;
    case PaletteOrder::Other:
        logOther(log, "PrintBitmapToRAM:BMP(\"%s\") re=-3 Other ReverseFlag %d %d %d %d %d %d", name, dib);
        logDebug(log, "prePrepareBmp binary image -3 %s", name.c_str());
        break;
    }
}

void logHalftoned(const Dib& dib, const std::string& name, EncodeLog* log)
{
    switch (paletteOrder(dib)) {
    case PaletteOrder::Normal:
        logDebug(log, "PrintBitmapToRAM:BMP(\"%s\") re!=-3 Normal ReverseFlag", name.c_str());
        break;
    case PaletteOrder::Reverse:
        logDebug(log, "PrintBitmapToRAM:BMP(\"%s\") re!=-3 Reverse ReverseFlag", name.c_str());
        break;
    case PaletteOrder::Other:
        logOther(log, "PrintBitmapToRAM:BMP(\"%s\") re!=-3 Other ReverseFlag %d %d %d %d %d %d", name, dib);
        break;
    }
    logDebug(log, "prePrepareBmp color image %s", name.c_str());
}

bool loadSource(const std::string& fileName, std::vector<std::uint8_t>* bytes, SourceKind* kind, EncodeLog* log)
{
    switch (readBinaryFile(fileName, kMaxBitmapSourceSize, bytes)) {
    case FileRead::Ok:
        break;
    case FileRead::OpenFailed:
        logError(log, "PrintBitmapToRAM %d:CreateFile(\"%s\") fail%s", 1, fileName.c_str(), kEnd);
        return false;
    case FileRead::TooLarge:
        logError(log, "PrintBitmapToRAM %d:file(\"%s\") larger than %zu bytes%s", 1, fileName.c_str(),
                 kMaxBitmapSourceSize, kEnd);
        return false;
    case FileRead::ReadFailed:
        logError(log, "PrintBitmapToRAM %d:ReadFile(\"%s\") fail%s", 1, fileName.c_str(), kEnd);
        return false;
    }
    logDebug(log, "PrintBitmapToRAM:BMP(\"%s\") is %d size", fileName.c_str(), static_cast<int>(bytes->size()));
    const std::vector<std::uint8_t>& b = *bytes;
    if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M') {
        logDebug(log, "PrintBitmapToRAM:BMP(\"%s\")", fileName.c_str());
        *kind = SourceKind::Bmp;
        return true;
    }
    if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xD8) {
        logDebug(log, "PrintBitmapToRAM:JPG(\"%s\")", fileName.c_str());
        *kind = SourceKind::Jpeg;
        return true;
    }
    logError(log, "PrintBitmapToRAM %d:not JPG or BMP(\"%s\") fail%s", 1, fileName.c_str(), kEnd);
    return false;
}

std::optional<std::string> libraryDirectory(const BitmapContext& context)
{
    if (context.installDirectory) return context.installDirectory;
    return common::readInstallDirectory();
}

// The source as a 1-bit image at its own size.
std::unique_ptr<Dib> binaryImage(const BitmapContext& context, const std::string& fileName)
{
    EncodeLog* log = context.log;
    const std::optional<std::string> directory = libraryDirectory(context);
    if (!directory) {
        logError(log, "PrintBitmapToRAM :GetCVOPOSSetupPath fail %s", kEnd);
        return nullptr;
    }
    platform::HModule halftoner = platform::loadLibrary(*directory + kHalftoneLibrary);
    if (halftoner == nullptr) {
        logError(log, "PrintBitmapToRAM :LoadLibrary fail %s", kEnd);
        return nullptr;
    }

    std::vector<std::uint8_t> source;
    SourceKind kind = SourceKind::Bmp;
    if (!loadSource(fileName, &source, &kind, log)) return nullptr;

    std::string halftoneInput = fileName;
    std::size_t halftoneInputSize = source.size();
    ScratchFile scratch;
    if (kind == SourceKind::Jpeg) {
        if (source.size() >= kMaxJpegSize) {
            logError(log, "PrintBitmapToRAM :file_in JPEG length=%d>1024*1024, %s", static_cast<int>(source.size() + 4),
                     kEnd);
            return nullptr;
        }
        if (!scratch.create(context.bitmapDirectory, "tempbinary")) {
            logError(log, "PrintBitmapToRAM %d:scratch file in \"%s\" fail%s", 1, context.bitmapDirectory.c_str(),
                     kEnd);
            return nullptr;
        }
        if (jpegToScratchBmp(*directory, source, scratch.path(), &halftoneInputSize, log) != 0) return nullptr;
        halftoneInput = scratch.path();
    }

    const auto halftone =
        platform::getProcAddressAs<AllBitsBmpHalftoneProcFunction>(halftoner, "AllBitsBmpHalftoneProc");
    if (halftone == nullptr) {
        logError(log, "PrintBitmapToRAM %d:GetProcAddress AllBitsBmpHalftoneProc fail%s", 1, kEnd);
        return nullptr;
    }
    // The library's contract: the buffer holds five times its input file.
    const std::size_t workSize = kHalftoneBufferFactor * halftoneInputSize;
    WorkBuffer work(static_cast<unsigned char*>(std::calloc(workSize, 1)));
    if (!work) {
        logError(log, "PrintBitmapToRAM %d:work buffer of %zu bytes fail%s", 1, workSize, kEnd);
        return nullptr;
    }
    std::int32_t width = 0;
    std::int32_t height = 0;
    const std::int32_t re = halftone(halftoneInput.c_str(), kHalftoneDiffusion, &width, &height, work.get());
    logDebug(log, "prePrepareBmp:re=%d", re);

    auto dib = std::make_unique<Dib>();
    if (re == kHalftoneAlreadyBinary && kind == SourceKind::Bmp) {
        if (parseDib(source, dib.get()) != DibCheck::Ok) {
            logError(log, "prePrepareBmp %d:LoadDIB(\"%s\")%s", 1, fileName.c_str(), kEnd);
            return nullptr;
        }
        useBinarySource(*dib, fileName, log);
        return dib;
    }
    if (re <= 0 || static_cast<std::size_t>(re) > workSize) {
        logError(log, "prePrepareBmp %d:AllBitsBmpHalftoneProc(\"%s\") re=%d fail%s", 1, fileName.c_str(), re, kEnd);
        return nullptr;
    }
    if (parseDib({work.get(), static_cast<std::size_t>(re)}, dib.get()) != DibCheck::Ok) {
        logError(log, "prePrepareBmp %d:LoadDIB(\"%s\")%s", 1, fileName.c_str(), kEnd);
        return nullptr;
    }
    logHalftoned(*dib, fileName, log);
    return dib;
}

bool isStepFeedModel(std::int32_t model)
{
    return model == model::K90 || model == model::K91 || model == model::K92 || model == model::F60;
}

}  // namespace

std::int32_t targetHeight(const BitmapContext& context, std::int32_t sourceWidth, std::int32_t sourceHeight,
                          std::int32_t width)
{
    double height = 0;
    if (isStepFeedModel(context.model)) {
        const double scaled = std::trunc(static_cast<double>(width) * sourceHeight * 0.9);
        if (!(scaled <= static_cast<double>(std::numeric_limits<std::int64_t>::max()))) return 0;
        height = static_cast<double>(static_cast<std::int64_t>(scaled) / sourceWidth);
    } else {
        // The printed height over the printed width must be the source's:
        // rows x dotHeight / (width x dotWidth) = sourceHeight / sourceWidth.
        const BitImageMode mode = bitImageMode(context.bitmapLevel);
        height = static_cast<double>(std::int64_t{sourceHeight} * width * mode.dotWidth /
                                     (std::int64_t{sourceWidth} * mode.dotHeight));
    }
    if (!(height >= 0 && height <= std::numeric_limits<std::int32_t>::max())) return 0;
    return static_cast<std::int32_t>(height);
}

std::unique_ptr<Dib> prepareBitmap(const BitmapContext& context, const std::string& fileName,
                                   std::int32_t widthDots, std::int32_t bitmapNumber)
{
    EncodeLog* log = context.log;
    logDebug(log, "prePrepareBmp(\"%s\",%d,%d)", fileName.c_str(), widthDots, bitmapNumber);
    std::unique_ptr<Dib> dib = binaryImage(context, fileName);
    if (!dib) return nullptr;

    std::int32_t width = widthDots;
    // As is, a source pixel prints two dots wide whatever the density.
    if (width == -1) width = 2 * dib->width / bitImageMode(context.bitmapLevel).dotWidth;
    const std::int32_t height = width > 0 ? targetHeight(context, dib->width, dib->height, width) : 0;
    std::unique_ptr<Dib> sized = ChangeDIBSize(*dib, width, height);
    if (!sized) {
        logError(log, "prePrepareBmp %d:ChangeDIBSize(%d,%d,%d) fail%s", 1, 0, width, height, kEnd);
        return nullptr;
    }
    return sized;
}

}  // namespace printer
