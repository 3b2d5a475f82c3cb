// Test JPEG files through the Windows Imaging Component's encoder. It writes
// baseline JPEG only, so no progressive file can be made here; and Wine's
// writes CMYK ink amounts as they come behind an Adobe marker, which says
// they are stored inverted (its own decoder then reads the picture back
// inverted), so no CMYK file is made here either.
#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstring>

#include "ImagingTestSupport.h"

namespace imagingtest {

namespace {

// The COM objects of one encoding, released in reverse order of creation.
struct Encoding {
    IWICImagingFactory* factory = nullptr;
    IStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* options = nullptr;

    Encoding() = default;
    Encoding(const Encoding&) = delete;
    Encoding& operator=(const Encoding&) = delete;
    ~Encoding()
    {
        for (IUnknown* object : {static_cast<IUnknown*>(options), static_cast<IUnknown*>(frame),
                                 static_cast<IUnknown*>(encoder), static_cast<IUnknown*>(stream),
                                 static_cast<IUnknown*>(factory)}) {
            if (object != nullptr) object->Release();
        }
    }
};

std::vector<std::uint8_t> encode(std::int32_t width, std::int32_t height, const WICPixelFormatGUID& format,
                                 std::uint32_t bytesPerPixel, std::vector<std::uint8_t> pixels)
{
    Encoding e;
    HRESULT hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(&e.factory));
    if (SUCCEEDED(hr)) hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &e.stream);
    if (SUCCEEDED(hr)) hr = e.factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &e.encoder);
    if (SUCCEEDED(hr)) hr = e.encoder->Initialize(e.stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = e.encoder->CreateNewFrame(&e.frame, &e.options);
    if (SUCCEEDED(hr)) {
        PROPBAG2 option{};
        option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT value;
        ::VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = 0.95f;
        hr = e.options->Write(1, &option, &value);
    }
    if (SUCCEEDED(hr)) hr = e.frame->Initialize(e.options);
    if (SUCCEEDED(hr)) hr = e.frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
    WICPixelFormatGUID accepted = format;
    if (SUCCEEDED(hr)) hr = e.frame->SetPixelFormat(&accepted);
    EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    EXPECT_TRUE(std::memcmp(&accepted, &format, sizeof format) == 0) << "the encoder changed the pixel format";
    const UINT stride = static_cast<UINT>(width) * bytesPerPixel;
    if (SUCCEEDED(hr))
        hr = e.frame->WritePixels(static_cast<UINT>(height), stride, static_cast<UINT>(pixels.size()), pixels.data());
    if (SUCCEEDED(hr)) hr = e.frame->Commit();
    if (SUCCEEDED(hr)) hr = e.encoder->Commit();
    HGLOBAL memory = nullptr;
    if (SUCCEEDED(hr)) hr = ::GetHGlobalFromStream(e.stream, &memory);
    EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    if (FAILED(hr)) return {};
    STATSTG stat{};
    e.stream->Stat(&stat, STATFLAG_NONAME);
    const auto* bytes = static_cast<const std::uint8_t*>(::GlobalLock(memory));
    std::vector<std::uint8_t> out(bytes, bytes + stat.cbSize.QuadPart);
    ::GlobalUnlock(memory);
    return out;
}

}  // namespace

std::vector<std::uint8_t> makeJpeg(std::int32_t width, std::int32_t height, JpegKind kind,
                                   const std::function<Rgb(std::int32_t, std::int32_t)>& colour)
{
    if (kind == JpegKind::Progressive || kind == JpegKind::Cmyk) {
        ADD_FAILURE() << "no " << static_cast<int>(kind) << " JPEG can be made here";
        return {};
    }
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const std::uint32_t bytesPerPixel = kind == JpegKind::Greyscale ? 1 : 3;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * bytesPerPixel);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            std::uint8_t* p = pixels.data() + (static_cast<std::size_t>(y) * width + x) * bytesPerPixel;
            if (kind == JpegKind::Greyscale) {
                p[0] = c.r;
            } else {
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
            }
        }
    }
    const WICPixelFormatGUID& format =
        kind == JpegKind::Greyscale ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR;
    auto file = encode(width, height, format, bytesPerPixel, std::move(pixels));
    if (SUCCEEDED(com)) ::CoUninitialize();
    return file;
}

const std::vector<JpegKind>& jpegKindsMadeHere()
{
    static const std::vector<JpegKind> kinds = {JpegKind::Baseline, JpegKind::Greyscale};
    return kinds;
}

}  // namespace imagingtest
