// NetBIOS names on the wire: the 16-byte name in first-level encoding (each byte as two letters 'A' + nibble)
// behind a length byte of 32, with no scope.
#pragma once

#include "byte_reader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::nbt {

using NetbiosName = std::array<std::uint8_t, 16>;
inline constexpr std::size_t encoded_name_size = 34;  // length byte, 32 letters, the empty scope's 0

std::array<std::uint8_t, encoded_name_size> encode_name(const NetbiosName &name);

// Reads one encoded name. A compression pointer, a label of another length, a letter outside 'A'..'P' or a
// scope is refused (nullopt); the reader's position is then unspecified.
std::optional<NetbiosName> read_encoded_name(ByteReader &reader);

// "*" followed by 15 zero bytes: the name a node status request asks for.
NetbiosName wildcard_name();

// The text padded with blanks to 15 bytes and the type byte in the 16th; longer text is cut to 15 bytes.
NetbiosName make_name(std::string_view text, std::uint8_t type);

}  // namespace platform::nbt
