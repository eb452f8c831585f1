#include "link/inputs.h"

#include <algorithm>
#include <cctype>

namespace zelt {

namespace {

// clang-format off
constexpr ProjectorInput kInputs[] = {
    {"1", "Computer 1", "computer1", "C05\r", "11"},
    {"2", "Computer 2", "computer2", "C06\r", "12"},
    {"4", "Video",      "video",     "C07\r", "21"},
    {"5", "S-video",    "s-video",   "C34\r", "22"},
    {"3", "HDMI",       "hdmi",      "C04\r", "31"},
};
// clang-format on

bool sameLetters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::span<const ProjectorInput> projectorInputs() { return kInputs; }

const ProjectorInput* inputByReply(std::string_view reply) {
    for (const ProjectorInput& input : kInputs) {
        if (input.reply == reply) return &input;
    }
    return nullptr;
}

const ProjectorInput* inputByName(std::string_view name) {
    for (const ProjectorInput& input : kInputs) {
        if (sameLetters(input.key, name) || sameLetters(input.name, name)) return &input;
    }
    return nullptr;
}

}  // namespace zelt
