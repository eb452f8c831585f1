#pragma once

#include <string>
#include <string_view>

namespace zelt {

// The text rules of the command list window, apart from any window. An item is a list entry as
// in command_list/command_lists.h; an editor text is whatever the operator left in the editor.

// What the editor shows for an item: its command part and the visible marker "[CR]".
std::string editorTextFor(std::string_view item);

// What goes to the projector for an editor text: its command part and one carriage return. The
// text is taken as it is: no case change, no check of the characters, "%" marks included. An
// empty text, or one that starts with "[", gives a lone carriage return.
std::string sendTextFor(std::string_view editorText);

// Whether an item holds a parameter mark "%" anywhere, description included.
bool holdsParameterMark(std::string_view item);

// An item as the drop-down lists show it: each tab becomes the blanks up to the next 8-column
// stop, so the separators line up roughly and never show as boxes.
std::string displayTextFor(std::string_view item);

}  // namespace zelt
