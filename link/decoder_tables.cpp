#include "link/decoder_tables.h"

#include <vector>

#include "link/operating_status.h"

namespace zelt {

namespace {

// The tables are laid out by hand, one row a line.
// clang-format off

// "CR1": input, one digit.
constexpr DecoderRow kInput[] = {
    {"1", " Input 1"},
    {"2", " Input 2"},
    {"3", " Input 3"},
    {"4", " Wired"},
    {"5", " Wireless/Viewer"},
};

// "CR4": image reversal, two digits.
constexpr DecoderRow kSetting[] = {
    {"11", " Normally"},
    {"10", " Top/Bottom reversal"},
    {"01", " Left/Right reversal"},
    {"00", " Top/Bottom , Left/Right reversal"},
};

// "CR LAMPSTS": "000", a blank, "1" and the status letter.
constexpr DecoderRow kLampStatus[] = {
    {"000 1I", " Lamp is ON"},
    {"000 1O", " Lamp is OFF"},
    {"000 1X", " Lamp is failure"},
};
// clang-format on

// "CR0": the operating status, from its own table.
std::span<const DecoderRow> operatingStatusRows() {
    static const std::vector<DecoderRow> rows = [] {
        std::vector<DecoderRow> r;
        for (const OperatingStatus& s : operatingStatuses()) r.push_back({s.reply, s.phrase});
        return r;
    }();
    return rows;
}

}  // namespace

std::span<const DecoderTable> decoderTables() {
    // clang-format off
    static const DecoderTable tables[] = {
        {"CR0\r", 0, DecodeRule::KeyedRows, operatingStatusRows()},
        {"CR1\r", 0, DecodeRule::KeyedRows, kInput},
        {"CR4\r", 0, DecodeRule::KeyedRows, kSetting},
        {"CR3\r", 6, DecodeRule::LampTime, {}},       // five digits and CR
        {"CR6\r", 18, DecodeRule::Temperatures, {}},  // three five-character fields, two separators, CR
        {"CR LAMPSTS\r", 0, DecodeRule::KeyedRows, kLampStatus},
    };
    // clang-format on
    return tables;
}

}  // namespace zelt
