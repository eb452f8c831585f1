#include "link/decoder_tables.h"

namespace zelt {

namespace {

// Keys are taken from the reply line, so every received character appears with a blank before it.
// The tables are laid out by hand, one row a line.
// clang-format off

// "CR0": operating status, two characters.
constexpr DecoderRow kOperatingStatus[] = {
    {" 0 0", " Power ON"},
    {" 8 0", " Stand by"},
    {" 4 0", " Count down"},
    {" 2 0", " Cooling down"},
    {" 1 0", " Power abnormality"},
    {" 0 8", " Temperature abnormality"},
    {" 1 8", " Temperature abnormality"},
    {" 2 8", " Temperature abnormality"},
    {" 4 8", " Temperature abnormality"},
    {" 8 8", " Temperature abnormality"},
    {" 2 1", " Lamp Failure"},
    {" 8 1", " Lamp Failure"},
};

// "CR1": input, one digit.
constexpr DecoderRow kInput[] = {
    {" 1", " Input 1"},
    {" 2", " Input 2"},
    {" 3", " Input 3"},
    {" 4", " Wired"},
    {" 5", " Wireless/Viewer"},
};

// "CR4": image reversal, two digits.
constexpr DecoderRow kSetting[] = {
    {" 1 1", " Normally"},
    {" 1 0", " Top/Bottom reversal"},
    {" 0 1", " Left/Right reversal"},
    {" 0 0", " Top/Bottom , Left/Right reversal"},
};

// "CR LAMPSTS": "000", a blank (shown as "_"), "1" and the status letter.
constexpr DecoderRow kLampStatus[] = {
    {" 0 0 0 _ 1 I", " Lamp is ON"},
    {" 0 0 0 _ 1 O", " Lamp is OFF"},
    {" 0 0 0 _ 1 X", " Lamp is failure"},
};

constexpr DecoderTable kTables[] = {
    {"CR0\r", 0, DecodeRule::KeyedRows, 4, kOperatingStatus},
    {"CR1\r", 0, DecodeRule::KeyedRows, 2, kInput},
    {"CR4\r", 0, DecodeRule::KeyedRows, 4, kSetting},
    {"CR3\r", 6, DecodeRule::LampTime, 0, {}},       // five digits and CR
    {"CR6\r", 18, DecodeRule::Temperatures, 0, {}},  // three five-character fields, two separators, CR
    {"CR LAMPSTS\r", 0, DecodeRule::KeyedRows, 12, kLampStatus},
};
// clang-format on

}  // namespace

std::span<const DecoderTable> decoderTables() { return kTables; }

}  // namespace zelt
