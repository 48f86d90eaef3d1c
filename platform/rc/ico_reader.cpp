#include "ico_reader.h"

#include <string>

namespace platform::rc {
namespace {

constexpr std::size_t kDirectoryHeaderSize = 6;
constexpr std::size_t kDirectoryEntrySize = 16;
constexpr std::size_t kBitmapHeaderSize = 40;
constexpr std::uint32_t kMaxDimension = 256;

// Little-endian reads that refuse to go past the end of the file.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint32_t u8(std::size_t at) const { return byte(at); }
    std::uint32_t u16(std::size_t at) const { return byte(at) | byte(at + 1) << 8; }
    std::uint32_t u32(std::size_t at) const { return u16(at) | u16(at + 2) << 16; }
    void require(std::size_t at, std::size_t size, const char *what) const {
        if (at > bytes_.size() || size > bytes_.size() - at)
            throw IconFormatError(std::string("icon file is cut short in its ") + what);
    }

private:
    std::uint32_t byte(std::size_t at) const {
        if (at >= bytes_.size())
            throw IconFormatError("icon file is cut short");
        return bytes_[at];
    }
    std::span<const std::uint8_t> bytes_;
};

std::size_t row_bytes(std::uint32_t width, std::uint32_t bits) {
    return ((width * bits + 31) / 32) * 4;
}

}  // namespace

IconImage read_icon(std::span<const std::uint8_t> file) {
    ByteReader in(file);
    in.require(0, kDirectoryHeaderSize, "header");
    if (in.u16(0) != 0 || in.u16(2) != 1)
        throw IconFormatError("not an icon file");
    std::uint32_t count = in.u16(4);
    if (count == 0)
        throw IconFormatError("icon file holds no image");
    in.require(kDirectoryHeaderSize, count * kDirectoryEntrySize, "directory");

    // The largest image, and of equal sizes the one with the most colours.
    std::size_t best = 0;
    std::uint64_t best_rank = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t entry = kDirectoryHeaderSize + i * kDirectoryEntrySize;
        std::uint32_t width = in.u8(entry) ? in.u8(entry) : 256;
        std::uint32_t height = in.u8(entry + 1) ? in.u8(entry + 1) : 256;
        std::uint64_t rank = (std::uint64_t{width} * height) << 8 | in.u16(entry + 6);
        if (i == 0 || rank > best_rank) {
            best = entry;
            best_rank = rank;
        }
    }
    std::uint32_t size = in.u32(best + 8);
    std::uint32_t offset = in.u32(best + 12);
    in.require(offset, size, "image");
    if (size < kBitmapHeaderSize)
        throw IconFormatError("icon image is too small");
    if (in.u32(offset) == 0x474E5089u)
        throw IconFormatError("PNG-compressed icon images are not supported");
    if (in.u32(offset) != kBitmapHeaderSize)
        throw IconFormatError("icon image has an unknown header");

    auto width = static_cast<std::int32_t>(in.u32(offset + 4));
    auto double_height = static_cast<std::int32_t>(in.u32(offset + 8));
    std::uint32_t planes = in.u16(offset + 12);
    std::uint32_t bits = in.u16(offset + 14);
    std::uint32_t compression = in.u32(offset + 16);
    std::uint32_t colours_used = in.u32(offset + 32);
    if (width <= 0 || double_height <= 0 || double_height % 2 != 0 ||
        static_cast<std::uint32_t>(width) > kMaxDimension ||
        static_cast<std::uint32_t>(double_height / 2) > kMaxDimension)
        throw IconFormatError("icon image has an impossible size");
    if (planes != 1 || compression != 0)
        throw IconFormatError("icon image is compressed or has more than one plane");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        throw IconFormatError("icon image has " + std::to_string(bits) + " bits per pixel");
    auto w = static_cast<std::uint32_t>(width);
    auto h = static_cast<std::uint32_t>(double_height / 2);

    std::uint32_t palette_size = bits <= 8 ? (colours_used ? colours_used : 1u << bits) : 0;
    if (palette_size > (1u << (bits <= 8 ? bits : 0)) && bits <= 8)
        throw IconFormatError("icon palette is larger than its bit depth allows");
    std::size_t palette = offset + kBitmapHeaderSize;
    std::size_t colour_rows = palette + palette_size * 4;
    std::size_t colour_row = row_bytes(w, bits);
    std::size_t mask_rows = colour_rows + colour_row * h;
    std::size_t mask_row = row_bytes(w, 1);
    in.require(colour_rows, colour_row * h, "colour bitmap");
    in.require(mask_rows, mask_row * h, "mask");
    if (mask_rows + mask_row * h - offset > size)
        throw IconFormatError("icon image is larger than its directory entry says");

    IconImage image;
    image.width = static_cast<std::uint16_t>(w);
    image.height = static_cast<std::uint16_t>(h);
    image.pixels.resize(std::size_t{w} * h);
    for (std::uint32_t y = 0; y < h; ++y) {
        std::size_t colour = colour_rows + colour_row * (h - 1 - y);  // rows are stored bottom up
        std::size_t mask = mask_rows + mask_row * (h - 1 - y);
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t rgb;
            std::uint32_t alpha = 0xFF;
            if (bits <= 8) {
                std::uint32_t bit = x * bits;
                std::uint32_t index = (in.u8(colour + bit / 8) >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (index >= palette_size)
                    throw IconFormatError("icon pixel names a colour beyond its palette");
                rgb = in.u32(palette + index * 4) & 0xFFFFFF;
            } else if (bits == 24) {
                rgb = in.u8(colour + x * 3) | in.u8(colour + x * 3 + 1) << 8 | in.u8(colour + x * 3 + 2) << 16;
            } else {
                std::uint32_t bgra = in.u32(colour + x * 4);
                rgb = bgra & 0xFFFFFF;
                alpha = bgra >> 24;
            }
            bool transparent = (in.u8(mask + x / 8) >> (7 - x % 8)) & 1;
            if (transparent)
                alpha = 0;
            image.pixels[std::size_t{y} * w + x] = alpha << 24 | rgb;
        }
    }
    return image;
}

}  // namespace platform::rc
