// The A14 is the Linux emulator program; its picture is read back with the
// Windows Imaging Component's PNG decoder.
#include "PrintedInk.h"

#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/RemotePrinter.h"
#include "support/TempFolder.h"

namespace imagingtest {

namespace {

// The COM objects of one decoding, released in reverse order of creation.
struct Decoding {
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapSource* converted = nullptr;

    Decoding() = default;
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;
    ~Decoding()
    {
        for (IUnknown* object : {static_cast<IUnknown*>(converted), static_cast<IUnknown*>(frame),
                                 static_cast<IUnknown*>(decoder), static_cast<IUnknown*>(factory)}) {
            if (object != nullptr) object->Release();
        }
    }
};

Ink decode(const std::filesystem::path& png)
{
    Ink ink;
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Decoding d;
    HRESULT hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(&d.factory));
    if (SUCCEEDED(hr))
        hr = d.factory->CreateDecoderFromFilename(png.wstring().c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &d.decoder);
    if (SUCCEEDED(hr)) hr = d.decoder->GetFrame(0, &d.frame);
    // Wine converts most formats to 32-bit BGRA only; the paper is grey, so
    // any one channel is its tone.
    if (SUCCEEDED(hr)) hr = ::WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, d.frame, &d.converted);
    UINT width = 0, height = 0;
    if (SUCCEEDED(hr)) hr = d.converted->GetSize(&width, &height);
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
    if (SUCCEEDED(hr)) hr = d.converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(bgra.size()), bgra.data());
    if (SUCCEEDED(hr)) {
        ink.width = static_cast<int>(width);
        ink.height = static_cast<int>(height);
        for (std::size_t i = 0; i < bgra.size(); i += 4) {
            ink.grey.push_back(bgra[i + 1]);
        }
    }
    EXPECT_TRUE(SUCCEEDED(hr)) << "cannot read " << png.string() << ": " << std::hex << hr;
    return SUCCEEDED(hr) ? ink : Ink{};
}

}  // namespace

Ink printOnA14(std::span<const std::uint8_t> commands)
{
    testsupport::RemotePrinter printer("A14");
    std::string error;
    if (!printer.startNetwork(&error)) {
        ADD_FAILURE() << error;
        return {};
    }
    printer.receive(commands);
    const std::filesystem::path folder = testsupport::makeTempFolder("cvopos-ink-");
    const std::filesystem::path png = folder / "paper.png";
    EXPECT_TRUE(printer.writePng(png.string(), &error)) << error;
    Ink ink = decode(png);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return ink;
}

}  // namespace imagingtest
