#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zelt {

// The commands that repeat while their arrow button is held, by RepeatKey 1..12.
struct RepeatRow {
    std::uint8_t key;
    std::string_view command;  // without its carriage return
    const char* control;
};

std::span<const RepeatRow> repeatTable();
// The row of a key, nullptr for 0 or an unknown key.
const RepeatRow* repeatRow(std::uint8_t key);

}  // namespace zelt
