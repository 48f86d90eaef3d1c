// What the resource compiler reads out of a script, before it is written out as C++ tables.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::rc {

struct Location {
    std::string file;
    int line = 0;
};

// A script fault: reported as "file:line: message".
class ScriptError : public std::runtime_error {
public:
    ScriptError(Location where, const std::string &message)
        : std::runtime_error(where.file + ":" + std::to_string(where.line) + ": " + message),
          where_(std::move(where)),
          message_(message) {}
    const Location &where() const { return where_; }
    const std::string &message() const { return message_; }

private:
    Location where_;
    std::string message_;
};

// A resource is named by a 16-bit id or by a string.
struct ResourceName {
    bool is_number = false;
    std::uint16_t number = 0;
    std::string text;
};

struct MenuEntry {
    std::string text;
    std::uint16_t id = 0;
    std::uint32_t flags = 0;
    std::vector<MenuEntry> children;
};

struct MenuResource {
    ResourceName name;
    std::vector<MenuEntry> items;
};

struct ControlEntry {
    std::string class_name;
    std::string text;
    std::int32_t id = 0;
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogResource {
    ResourceName name;
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    std::string font_face;
    std::uint16_t font_point_size = 0;
    std::string menu;
    std::string class_name;
    std::vector<ControlEntry> controls;
};

struct IconResource {
    ResourceName name;
    std::uint16_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, top row first
};

struct Script {
    std::vector<MenuResource> menus;
    std::vector<DialogResource> dialogs;
    std::vector<IconResource> icons;
    std::vector<std::string> dependencies;  // every file read: the script, its headers and icons
};

}  // namespace platform::rc
