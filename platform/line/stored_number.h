#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelt {

// The leading decimal number of a stored text: blanks before it skipped, an optional sign, digits
// with an optional fraction; reading stops at the first character that cannot continue it. A text
// that does not begin with a number reads as 0. Rounded to the nearest whole number, a half to the
// even neighbour.
double readLeadingNumber(std::string_view text);

// The stored port number, or std::nullopt when it does not fit a signed 16-bit integer (such a
// value counts as outside 1..15).
std::optional<int16_t> readPortNumber(std::string_view text);

// 96 when the stored speed reads as exactly 96, else 192.
uint8_t readBaudCode(std::string_view text);

}  // namespace zelt
