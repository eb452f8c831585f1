#include "panel/repeat_table.h"

namespace zelt {

namespace {

constexpr RepeatRow kRepeat[] = {
    {1, "C09", "Command1"},    // Volume up
    {2, "C0A", "Command2"},    // Volume down
    {3, "C3C", "Command5"},    // Menu pointer up
    {4, "C3D", "Command7"},    // Menu pointer down
    {5, "C3B", "Command38"},   // Menu pointer left
    {6, "C3A", "Command8"},    // Menu pointer right
    {7, "C20", "Command30"},   // Bright up
    {8, "C21", "Command42"},   // Bright down
    {9, "C30", "Command48"},   // D.Zoom up
    {10, "C31", "Command49"},  // D.Zoom down
    {11, "C8E", "Command10"},  // Keystone up
    {12, "C8F", "Command35"},  // Keystone down
};

}  // namespace

std::span<const RepeatRow> repeatTable() { return kRepeat; }

const RepeatRow* repeatRow(std::uint8_t key) {
    for (const RepeatRow& row : kRepeat) {
        if (row.key == key) return &row;
    }
    return nullptr;
}

}  // namespace zelt
