#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelt::emulator {

// Cuts the received byte stream into command lines, each closed by a carriage return. Bytes may
// arrive in any pieces; line feeds are dropped wherever they come (a terminal's CR LF is fine).
class LineReader {
public:
    // Longer lines keep their first kMaxLine bytes and are marked over-long.
    static constexpr size_t kMaxLine = 256;

    struct Line {
        std::string text;  // without the carriage return
        bool overlong = false;
    };

    // The lines completed by these bytes, in order.
    std::vector<Line> feed(std::string_view bytes);
    // Forgets a partly received line.
    void clear();

private:
    Line partial_;
};

}  // namespace zelt::emulator
