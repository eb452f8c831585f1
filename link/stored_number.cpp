#include "link/stored_number.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace zelt {

double readLeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    size_t digits = 0;
    auto takeDigits = [&] {
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            number += text[i++];
            ++digits;
        }
    };
    takeDigits();
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        takeDigits();
    }
    if (digits == 0) return 0.0;
    // strtod gives +-HUGE_VAL for overflowing digit strings, which then fail every range test.
    const double value = std::strtod(number.c_str(), nullptr);
    // Round half to even, whatever rounding mode the process was left in.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded == 0.0 ? 0.0 : rounded;  // no negative zero
}

std::optional<int16_t> readPortNumber(std::string_view text) {
    const double value = readLeadingNumber(text);
    if (!(value >= INT16_MIN && value <= INT16_MAX)) return std::nullopt;
    return static_cast<int16_t>(value);
}

uint8_t readBaudCode(std::string_view text) { return readLeadingNumber(text) == 96.0 ? 96 : 192; }

const char* settingsStringFor(uint8_t baudCode) { return baudCode == 96 ? "9600,N,8,1" : "19200,N,8,1"; }

}  // namespace zelt
