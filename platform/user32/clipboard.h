// The process's clipboard and primary selection: text in the ANSI code page. On X they are the desktop's
// CLIPBOARD and PRIMARY selections; without a display, a store in the process.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::user {

// What the user selected last: offered to other programs (X pastes it with the middle button).
void offer_primary(std::string_view text);
// The primary selection's text, whichever program holds it; nothing when none does.
std::optional<std::string> primary_text();

}  // namespace platform::user
