// Reads a .ico file: picks its largest image and turns it into 32-bit pixels, transparency from the mask.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace platform::rc {

struct IconImage {
    std::uint16_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, top row first
};

class IconFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws IconFormatError for anything that is not a well-formed uncompressed icon of 1, 4, 8, 24 or 32 bits.
IconImage read_icon(std::span<const std::uint8_t> file);

}  // namespace platform::rc
