#include "platform/line/stored_number.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <string>

#include "platform/line/port_choice.h"

namespace zelt {

double readLeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    std::string number;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
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
    // from_chars, unlike strtod, reads "." as the decimal point whatever the user's locale says.
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too many digits before the point overflow (and then fail every range test); a long run of
        // zeros after it only underflows towards 0.
        const bool huge = number.find_first_not_of("0.") < number.find('.');
        value = huge ? HUGE_VAL : 0.0;
    }
    if (negative) value = -value;
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

uint8_t readBaudCode(std::string_view text) {
    return readLeadingNumber(text) == kBaudCode9600 ? kBaudCode9600 : kBaudCode19200;
}

}  // namespace zelt
