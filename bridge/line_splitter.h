#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::pjlink {

struct LineEvent {
    enum class Kind {
        Line,     // a whole line; `text` without its end
        TooLong,  // a line over the limit; `text` holds its first bytes, the rest is discarded
    };
    Kind kind;
    std::string text;

    bool operator==(const LineEvent&) const = default;
};

// Cuts the bytes of one TCP connection into request lines, keeping at most one line's worth.
//
// A line ends at CR, as PJLink has it; LF also ends one (a person typing into netcat or telnet).
// Empty lines are skipped, so CRLF is one end and stray ends are not answered. A line longer
// than kMaxLineBytes with its CR (more than 135 bytes before the end) gives one TooLong event as
// soon as the limit is passed; the bytes that follow up to the next end are dropped unseen.
// With `firstLineMayCarryDigest` the first line may be kDigestLength bytes longer, for the
// authentication digest in front of its request.
class LineSplitter {
public:
    explicit LineSplitter(bool firstLineMayCarryDigest = false);

    // The next event from `bytes`, which is advanced past what was used; std::nullopt once
    // `bytes` is used up without completing one (a partial line is kept for the next call).
    // Call it until std::nullopt: `while (auto e = splitter.next(data)) ...`.
    std::optional<LineEvent> next(std::string_view& bytes);

    // Bytes of an unfinished line held now; never more than the limit.
    std::size_t pendingBytes() const { return line_.size(); }
    // Whether a line has begun and not yet ended (also while a line over the limit is dropped).
    bool inLine() const { return !line_.empty() || discarding_; }

private:
    std::size_t limit() const;

    std::string line_;
    bool firstLine_;
    bool discarding_ = false;
};

}  // namespace zelt::pjlink
