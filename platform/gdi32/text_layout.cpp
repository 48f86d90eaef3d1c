#include "text_layout.h"

#include <winuser.h>

namespace platform::gdi {
namespace {

TextLine resolve_prefixes(std::string_view raw, UINT format) {
    TextLine line;
    line.text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (!(format & DT_NOPREFIX) && raw[i] == '&' && i + 1 < raw.size()) {
            ++i;
            if (raw[i] != '&')
                line.underline = static_cast<int>(line.text.size());
        }
        line.text.push_back(raw[i]);
    }
    return line;
}

int char_width(const ResolvedFont &font, char c, int tab_width, int x) {
    if (c == '\t' && tab_width > 0)
        return tab_width - x % tab_width;
    return font.advance[static_cast<unsigned char>(c)];
}

// Breaks one paragraph (no line ends in it) to `width`.
void wrap(const ResolvedFont &font, const TextLine &paragraph, int width, int tab_width, std::vector<TextLine> &out) {
    const std::string &text = paragraph.text;
    std::size_t start = 0;
    while (true) {
        int x = 0;
        std::size_t i = start;
        std::size_t last_space = std::string::npos;
        while (i < text.size()) {
            int w = char_width(font, text[i], tab_width, x);
            if (text[i] == ' ')
                last_space = i;
            else if (x + w > width && i > start)
                break;
            x += w;
            ++i;
        }
        if (i >= text.size()) {
            TextLine piece{text.substr(start), -1};
            if (paragraph.underline >= static_cast<int>(start))
                piece.underline = paragraph.underline - static_cast<int>(start);
            out.push_back(std::move(piece));
            return;
        }
        std::size_t end = (last_space != std::string::npos && last_space > start) ? last_space : i;
        TextLine piece{text.substr(start, end - start), -1};
        if (paragraph.underline >= static_cast<int>(start) && paragraph.underline < static_cast<int>(end))
            piece.underline = paragraph.underline - static_cast<int>(start);
        out.push_back(std::move(piece));
        start = end;
        while (start < text.size() && text[start] == ' ')
            ++start;  // the blanks at a break belong to neither line
        if (start >= text.size())
            return;
    }
}

}  // namespace

int text_width(const ResolvedFont &font, std::string_view text, int tab_width) {
    int x = 0;
    for (char c : text)
        x += char_width(font, c, tab_width, x);
    return x;
}

std::vector<TextLine> layout_text(const ResolvedFont &font, std::string_view text, UINT format, int width) {
    std::vector<TextLine> lines;
    int tab_width = (format & DT_EXPANDTABS) ? 8 * font.average_width : 0;
    auto add = [&](std::string_view raw) {
        TextLine paragraph = resolve_prefixes(raw, format);
        if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE) && text_width(font, paragraph.text, tab_width) > width)
            wrap(font, paragraph, width, tab_width, lines);
        else
            lines.push_back(std::move(paragraph));
    };
    if (format & DT_SINGLELINE) {
        std::string joined;
        for (char c : text)
            if (c != '\r' && c != '\n')
                joined.push_back(c);
        add(joined);
        return lines;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            add(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    // Text ending in a line break has no empty last line.
    if (start < text.size() || lines.empty())
        add(text.substr(start));
    return lines;
}

}  // namespace platform::gdi
