// Line breaking and measuring for DrawTextA, kept apart from drawing so it can be tested on its own.
#pragma once

#include "font_resolver.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform::gdi {

struct TextLine {
    std::string text;    // what is drawn, '&' prefixes resolved
    int underline = -1;  // index in `text` of the mnemonic character, or -1
};

int text_width(const ResolvedFont &font, std::string_view text, int tab_width = 0);

// Splits `text` into the lines DrawTextA draws: at "\r\n", "\r" or "\n" (unless DT_SINGLELINE) and, with
// DT_WORDBREAK, between words where a line is wider than `width`. A word wider than a whole line is
// broken between characters so that nothing is lost.
std::vector<TextLine> layout_text(const ResolvedFont &font, std::string_view text, UINT format, int width);

}  // namespace platform::gdi
