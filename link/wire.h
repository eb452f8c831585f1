#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zelt {

// What travels on the line between the panel and the projector: one character a byte. The panel
// (link/) and the projector emulator (tools/) both spell the line with these.

// Closes every command and every reply.
inline constexpr char kCarriageReturn = '\r';
// A terminal's line feed; the transcript shows it, the projector ignores it.
inline constexpr char kLineFeed = '\n';
// The projector's answer to a command it accepted.
inline constexpr char kAck = '\x06';
// The projector's answer to a command it does not understand, closed by a carriage return.
inline constexpr char kNotUnderstood = '?';

// How a reply ends: at its first carriage return, or at once when it begins with an ACK (an
// accepted setting carries no carriage return). The length of the complete reply at the start of
// `received`, CR or ACK included; std::nullopt while it is not complete.
inline std::optional<std::size_t> completeReplyLength(std::string_view received) {
    if (!received.empty() && received.front() == kAck) return 1;
    const std::size_t end = received.find(kCarriageReturn);
    if (end == std::string_view::npos) return std::nullopt;
    return end + 1;
}

// Hyouji's second argument: which way a text travelled. Send puts the text on the line; any other
// value, Received or not, shows it as received.
enum class Direction : std::uint8_t { Send = 1, Received = 2 };

}  // namespace zelt
