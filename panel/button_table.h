#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include <QColor>

namespace zelt {

enum class Face { System, LightGreen, LightRed, Teal, LightYellow, LightCyan, LightOrange };
enum class Action { Send, Hold, CommandTable, Com, End };
enum class Arrow { None, Up, Down, Left, Right };

// One push button of the main window. Places are in twips, relative to the frame when there is
// one, else to the client area.
struct ButtonRow {
    const char* control;
    const char* caption;  // empty for the arrow buttons, which show a picture
    const char* frame;    // nullptr: placed on the window itself
    int left, top, width, height;
    Face face;
    Action action;
    std::string_view command;  // without its carriage return
    std::uint8_t repeatKey;    // Hold only
    Arrow arrow;               // Hold only
};

struct HeadingLabel {
    const char* control;
    const char* text;
    int left, top, width, height;
};

// A group frame and its bold heading labels (one or two).
struct FrameRow {
    const char* control;
    int left, top, width, height;
    HeadingLabel headings[2];
};

std::span<const ButtonRow> buttonTable();
std::span<const FrameRow> frameTable();

QColor faceColor(Face face);

}  // namespace zelt
