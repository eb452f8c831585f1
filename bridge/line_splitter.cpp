#include "bridge/line_splitter.h"

#include <utility>

#include "bridge/pjlink_protocol.h"

namespace zelt::pjlink {

LineSplitter::LineSplitter(bool firstLineMayCarryDigest) : firstLine_(firstLineMayCarryDigest) {
    line_.reserve(kMaxLineBytes + kDigestLength);
}

std::size_t LineSplitter::limit() const { return kMaxLineBytes - 1 + (firstLine_ ? kDigestLength : 0); }

std::optional<LineEvent> LineSplitter::next(std::string_view& bytes) {
    while (!bytes.empty()) {
        if (discarding_) {
            // Skip to the next end at once: a client sending megabytes without one costs nothing.
            const std::size_t end = bytes.find_first_of("\r\n");
            if (end == std::string_view::npos) break;
            bytes.remove_prefix(end + 1);
            discarding_ = false;
            continue;
        }
        const char c = bytes.front();
        bytes.remove_prefix(1);
        if (c == '\r' || c == '\n') {
            if (line_.empty()) continue;  // also the LF of a CRLF
            firstLine_ = false;
            LineEvent event{LineEvent::Kind::Line, line_};
            line_.clear();
            return event;
        }
        if (line_.size() == limit()) {
            discarding_ = true;
            firstLine_ = false;
            LineEvent event{LineEvent::Kind::TooLong, line_};
            line_.clear();
            return event;
        }
        line_ += c;
    }
    bytes = {};
    return std::nullopt;
}

}  // namespace zelt::pjlink
