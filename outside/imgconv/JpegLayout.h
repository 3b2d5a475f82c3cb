#pragma once
// The marker structure of a JPEG file, read without decoding it: whether
// the data hold a whole image (they reach the end-of-image marker through
// well-formed segments and scans) and the size its frame header claims. A
// decoder that pads a short image with grey instead of failing is checked
// with this first.
#include <cstdint>
#include <span>

namespace imgconv {

struct JpegLayout {
    enum class Verdict {
        Whole,      // the end-of-image marker ends a frame with at least one scan
        Truncated,  // the data end first, or hold too little for the frame's blocks
        NotJpeg,    // no start-of-image marker, a malformed segment, or no frame
    };
    Verdict verdict = Verdict::NotJpeg;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

JpegLayout readJpegLayout(std::span<const std::uint8_t> data);

}  // namespace imgconv
