#pragma once

#include <cstdint>

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

// Hyouji's second argument: which way a text travelled. Send puts the text on the line; any other
// value, Received or not, shows it as received.
enum class Direction : std::uint8_t { Send = 1, Received = 2 };

}  // namespace zelt
