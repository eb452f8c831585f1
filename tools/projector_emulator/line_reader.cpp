#include "tools/projector_emulator/line_reader.h"

#include <utility>

#include "link/wire.h"

namespace zelt::emulator {

std::vector<LineReader::Line> LineReader::feed(std::string_view bytes) {
    std::vector<Line> lines;
    for (const char c : bytes) {
        if (c == kLineFeed) continue;
        if (c == kCarriageReturn) {
            lines.push_back(std::exchange(partial_, Line{}));
        } else if (partial_.text.size() < kMaxLine) {
            partial_.text += c;
        } else {
            partial_.overlong = true;
        }
    }
    return lines;
}

void LineReader::clear() { partial_ = Line{}; }

}  // namespace zelt::emulator
