#pragma once

#include <string>
#include <string_view>

namespace zelt {

// The visible form of a sent or received text: one blank, then one token per character.
// Control codes are spelled out, so the operator sees exactly what travelled.
struct Transcript {
    std::string text;
    bool hasBlank = false;           // show the space legend
    bool hasCarriageReturn = false;  // show the carriage-return legend
};

// The token of one character: " [ACK] ", " [CR] ", " [LF]  ", "_ ", the character and a blank
// for "!".."z", "? " for every other code.
std::string_view transcriptToken(unsigned char c);

Transcript renderTranscript(std::string_view text);

// The number of characters that the tokens of `text` take in a rendering (its leading blank not
// counted).
std::size_t transcriptWidth(std::string_view text);

// Adds the tokens of `more` to a rendering made earlier; the same result as rendering the whole
// text again, at the cost of the new characters only.
void appendTranscript(Transcript& into, std::string_view more);

}  // namespace zelt
