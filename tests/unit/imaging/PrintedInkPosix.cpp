#include "PrintedInk.h"

#include <gtest/gtest.h>
#include <png.h>

#include <string>

#include "emulator/VirtualPrinter.h"

namespace imagingtest {

Ink printOnA14(std::span<const std::uint8_t> commands)
{
    emulator::VirtualPrinter printer("A14");
    printer.receive(commands);
    emulator::Bytes png;
    std::string error;
    EXPECT_TRUE(printer.renderPng(&png, &error)) << error;
    Ink ink;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        ADD_FAILURE() << "not a PNG: " << image.message;
        return ink;
    }
    image.format = PNG_FORMAT_GRAY;
    ink.width = static_cast<int>(image.width);
    ink.height = static_cast<int>(image.height);
    ink.grey.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, ink.grey.data(), 0, nullptr)) << image.message;
    return ink;
}

}  // namespace imagingtest
