#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelt {

// The status phrase for a reply, chosen by the command the panel composed last. `received` is
// the whole reply so far and `replyLine` its transcript rendering. std::nullopt when no table
// applies or no row matches: the status line then keeps its text.
std::optional<std::string> decodeReply(std::string_view commandText, std::string_view received,
                                       std::string_view replyLine);

}  // namespace zelt
