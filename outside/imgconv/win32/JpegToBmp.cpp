// JpegToBmp over the Windows Imaging Component: WIC decodes, a format
// converter delivers 32-bit BGR (the one target Wine's converter reaches
// from grey and CMYK as well), and each row is packed to 24 bits into its
// bottom-up place. WIC
// pads an image whose data end early with grey where libjpeg's decoder is
// stopped, so the file's structure is checked first and a short image fails
// as it does on Linux.
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "JpegLayout.h"
#include "imgconv/imgconv.h"

namespace {

// The WIC objects of one decoding, released in reverse order of creation.
struct Decoding {
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;

    Decoding() = default;
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;
    ~Decoding() {
        for (IUnknown* object : {static_cast<IUnknown*>(converter), static_cast<IUnknown*>(frame),
                                 static_cast<IUnknown*>(decoder), static_cast<IUnknown*>(stream),
                                 static_cast<IUnknown*>(factory)}) {
            if (object != nullptr) {
                object->Release();
            }
        }
    }

    // Every object up to a converter that delivers 32-bit BGR.
    bool open(std::span<unsigned char> data) {
        return SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
               SUCCEEDED(factory->CreateStream(&stream)) &&
               SUCCEEDED(stream->InitializeFromMemory(data.data(), static_cast<DWORD>(data.size()))) &&
               SUCCEEDED(factory->CreateDecoderFromStream(stream, &GUID_ContainerFormatJpeg,
                                                          WICDecodeMetadataCacheOnDemand, &decoder)) &&
               SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
               SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr,
                                               0.0, WICBitmapPaletteTypeCustom));
    }
};

// COM for this thread for the call, unless the caller's thread already has
// it (in either apartment: WIC's objects live in both).
class ComScope {
public:
    ComScope() : m_result(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_result)) {
            ::CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

private:
    HRESULT m_result;
};

int32_t decode(std::span<unsigned char> data, int32_t* width, int32_t* height, unsigned char* pixels) {
    ComScope com;
    if (!com.usable()) {
        return IMGCONV_E_DECODE;
    }
    Decoding decoding;
    if (!decoding.open(data)) {
        return IMGCONV_E_DECODE;
    }
    IWICFormatConverter* converter = decoding.converter;
    UINT w = 0;
    UINT h = 0;
    if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0) {
        return IMGCONV_E_DECODE;
    }
    const std::size_t rowBytes = std::size_t{w} * 3;
    if (std::uint64_t{rowBytes} * h > IMGCONV_PIXEL_BUFFER_SIZE) {
        return IMGCONV_E_TOO_LARGE;
    }
    std::unique_ptr<BYTE[]> row(new BYTE[std::size_t{w} * 4]);
    for (UINT y = 0; y < h; ++y) {
        const WICRect line{0, static_cast<INT>(y), static_cast<INT>(w), 1};
        if (FAILED(converter->CopyPixels(&line, w * 4, w * 4, row.get()))) {
            return IMGCONV_E_DECODE;
        }
        unsigned char* target = pixels + rowBytes * (h - 1 - y);
        for (UINT x = 0; x < w; ++x) {
            std::memcpy(target + 3 * x, row.get() + 4 * x, 3);
        }
    }
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return IMGCONV_OK;
}

}  // namespace

extern "C" IMGCONV_API int32_t JpegToBmp(const JpegMemory* memory, int32_t* width, int32_t* height,
                                         int32_t bitsPerPixel, unsigned char* pixelBuffer) {
    if (memory == nullptr || memory->buffer == nullptr || width == nullptr || height == nullptr ||
        pixelBuffer == nullptr || bitsPerPixel != 24) {
        return IMGCONV_E_ARGUMENT;
    }
    if (memory->position < 0 || memory->length <= memory->position) {
        return IMGCONV_E_ARGUMENT;
    }
    const std::span<unsigned char> data(memory->buffer + memory->position,
                                        static_cast<std::size_t>(memory->length - memory->position));
    const imgconv::JpegLayout layout = imgconv::readJpegLayout(data);
    if (std::uint64_t{layout.width} * layout.height * 3 > IMGCONV_PIXEL_BUFFER_SIZE) {
        return IMGCONV_E_TOO_LARGE;
    }
    switch (layout.verdict) {
    case imgconv::JpegLayout::Verdict::NotJpeg:
        return IMGCONV_E_DECODE;
    case imgconv::JpegLayout::Verdict::Truncated:
        return IMGCONV_E_TRUNCATED;
    case imgconv::JpegLayout::Verdict::Whole:
        break;
    }
    try {
        return decode(data, width, height, pixelBuffer);
    } catch (...) {
        return IMGCONV_E_DECODE;
    }
}
