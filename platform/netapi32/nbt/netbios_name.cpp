#include "netbios_name.h"

#include <algorithm>

namespace platform::nbt {

std::array<std::uint8_t, encoded_name_size> encode_name(const NetbiosName &name) {
    std::array<std::uint8_t, encoded_name_size> encoded{};
    encoded[0] = 32;
    for (std::size_t i = 0; i < name.size(); ++i) {
        encoded[1 + 2 * i] = static_cast<std::uint8_t>('A' + (name[i] >> 4));
        encoded[2 + 2 * i] = static_cast<std::uint8_t>('A' + (name[i] & 0x0F));
    }
    encoded[33] = 0;
    return encoded;
}

std::optional<NetbiosName> read_encoded_name(ByteReader &reader) {
    std::uint8_t length = 0;
    if (!reader.u8(length) || length != 32)  // also refuses 0xC0 compression pointers
        return std::nullopt;
    std::span<const std::uint8_t> letters;
    if (!reader.take(32, letters))
        return std::nullopt;
    NetbiosName name{};
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::uint8_t high = letters[2 * i], low = letters[2 * i + 1];
        if (high < 'A' || high > 'P' || low < 'A' || low > 'P')
            return std::nullopt;
        name[i] = static_cast<std::uint8_t>((high - 'A') << 4 | (low - 'A'));
    }
    std::uint8_t scope_length = 0;
    if (!reader.u8(scope_length) || scope_length != 0)
        return std::nullopt;
    return name;
}

NetbiosName wildcard_name() {
    NetbiosName name{};
    name[0] = '*';
    return name;
}

NetbiosName make_name(std::string_view text, std::uint8_t type) {
    NetbiosName name;
    name.fill(' ');
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 15), name.begin());
    name[15] = type;
    return name;
}

}  // namespace platform::nbt
