#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace zelt {

// How a reply to a status query becomes a phrase on the status line.
enum class DecodeRule {
    KeyedRows,     // the reply line's first characters, read as a row's reply would show there
    LampTime,      // the hours, leading zeros blanked, then " Hour Use"
    Temperatures,  // three fields, each followed by " deg C "
};

struct DecoderRow {
    std::string_view reply;  // the start of the reply, as the projector sends it ("80")
    std::string_view phrase;
};

struct DecoderTable {
    std::string_view command;    // the query and its carriage return, as CommandText holds it
    std::size_t receivedLength;  // 0: any; else the reply must have exactly this many characters
    DecodeRule rule;
    std::span<const DecoderRow> rows;  // KeyedRows only
};

// The six decoded queries, in the order they are tried.
std::span<const DecoderTable> decoderTables();

}  // namespace zelt
