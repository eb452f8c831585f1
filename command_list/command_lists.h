#pragma once

#include <span>
#include <string_view>

namespace zelt {

// The projector's command reference, as the item texts of the three drop-down lists, in the
// order they are shown. An item text is the command text, "[CR]" standing for the carriage
// return that closes it, and then, on most items, a separator and a description. Fixed when the
// program is built; the views stay valid for the life of the program.

// Short commands "C00" to "C8F" and the status queries "CR0" to "CR7" (60 items).
std::span<const std::string_view> basicCommandList();

// Set commands, all beginning "CF " (321 items).
std::span<const std::string_view> expandedCommandList();

// Read commands, all beginning "CR " (88 items).
std::span<const std::string_view> readCommandList();

// Everything before the first "[", or the whole text when there is none. For every list item
// this is its command text, "%" marks included.
std::string_view commandPart(std::string_view text);

}  // namespace zelt
