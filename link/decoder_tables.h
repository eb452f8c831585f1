#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace zelt {

// How a reply to a status query becomes a phrase on the status line.
enum class DecodeRule {
    KeyedRows,     // the first keyLength characters of the reply line, looked up in rows
    LampTime,      // the hours, leading zeros blanked, then " Hour Use"
    Temperatures,  // three fields, each followed by " deg C "
};

struct DecoderRow {
    std::string_view key;
    std::string_view phrase;
};

struct DecoderTable {
    std::string_view command;    // the query and its carriage return, as CommandText holds it
    std::size_t receivedLength;  // 0: any; else the reply must have exactly this many characters
    DecodeRule rule;
    std::size_t keyLength;  // KeyedRows only
    std::span<const DecoderRow> rows;
};

// The six decoded queries, in the order they are tried.
std::span<const DecoderTable> decoderTables();

}  // namespace zelt
