// Text between the programs' ANSI code page, which the platform takes as ISO 8859-1 (the fonts draw each byte
// as the Latin-1 character of that value), and the UTF-8 that X clients and the desktop exchange.
#pragma once

#include <string>
#include <string_view>

namespace platform::display {

std::string latin1_to_utf8(std::string_view latin1);
// Characters outside Latin-1 and malformed sequences become '?'.
std::string utf8_to_latin1(std::string_view utf8);

}  // namespace platform::display
