#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelt {

// A command made ready for the line, or why it cannot go out.
struct FilledCommand {
    std::string text;   // the bytes to send, carriage return included; empty when there is an error
    std::string error;  // for the operator; empty when `text` holds the command
    bool ok() const { return error.empty(); }
};

// The command text for a command typed by someone without the command list window: `command` is
// a command-list item or a command (UTF-8, as typed), `digits` what is typed over its "%" marks.
// Only the command part (everything before the first "[") counts, and it goes out as the window
// sends it: one byte per character (Latin-1), each "%" overtyped by the next digit, then one
// carriage return. ("CF BRIGHT 0%%", "50") gives "CF BRIGHT 050\r".
//
// An error, and nothing to send, when the command part is empty, is not valid UTF-8, or holds a
// control character or a character that one byte cannot carry; when the digits are not all 0-9;
// when there are more or fewer digits than marks (a "%" never goes out); or when digits are given
// for a command without marks.
FilledCommand fillParameterMarks(std::string_view command, std::optional<std::string_view> digits);

}  // namespace zelt
