#pragma once

#include <cstdint>
#include <string>

namespace zelt {

// The core's state: the application-wide variables that the windows and the link's steps share.
struct Module1 {
    std::string CommandText;            // command text the panel sends, or sent last (with its CR)
    int16_t ComPortNumber = 0;          // port in force, 1..15; 0 = none chosen
    uint8_t BaudCode = 0;               // 96 = 9600 bit/s, 192 = 19200 bit/s
    int16_t PreviousComPortNumber = 0;  // taken by "COM"; the dialog's Cancel returns to it
    uint8_t PreviousBaudCode = 0;
};

}  // namespace zelt
