// A cursor over untrusted bytes. Every read checks the bytes that remain and fails instead of reading past
// the end; multi-byte values are big-endian, as the name service sends them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::nbt {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t remaining() const { return bytes_.size() - offset_; }
    std::size_t offset() const { return offset_; }

    bool u8(std::uint8_t &value) {
        if (remaining() < 1)
            return false;
        value = bytes_[offset_++];
        return true;
    }
    bool u16(std::uint16_t &value) {
        if (remaining() < 2)
            return false;
        value = static_cast<std::uint16_t>(bytes_[offset_] << 8 | bytes_[offset_ + 1]);
        offset_ += 2;
        return true;
    }
    bool u32(std::uint32_t &value) {
        if (remaining() < 4)
            return false;
        value = static_cast<std::uint32_t>(bytes_[offset_]) << 24 |
                static_cast<std::uint32_t>(bytes_[offset_ + 1]) << 16 |
                static_cast<std::uint32_t>(bytes_[offset_ + 2]) << 8 | bytes_[offset_ + 3];
        offset_ += 4;
        return true;
    }
    bool take(std::size_t count, std::span<const std::uint8_t> &out) {
        if (remaining() < count)
            return false;
        out = bytes_.subspan(offset_, count);
        offset_ += count;
        return true;
    }
    bool skip(std::size_t count) {
        std::span<const std::uint8_t> ignored;
        return take(count, ignored);
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
};

}  // namespace platform::nbt
