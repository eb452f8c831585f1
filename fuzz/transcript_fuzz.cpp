// Rendering: one token per character, visible ASCII only, the layout rule, and appending
// pieces equal to rendering the whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "link/transcript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const zelt::Transcript t = zelt::renderTranscript(text);
    FUZZ_CHECK(!t.text.empty() && t.text[0] == ' ');
    size_t expected = 1;
    bool ordinaryPrefix = true;
    for (size_t k = 0; k < text.size(); ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        const bool wide = c == 6 || c == 10 || c == 13;
        if (ordinaryPrefix && !wide) {
            const char sign = c == ' ' ? '_' : (c > ' ' && c <= 'z' ? static_cast<char>(c) : '?');
            FUZZ_CHECK(t.text[2 * k + 1] == sign && t.text[2 * k + 2] == ' ');
        }
        if (wide) ordinaryPrefix = false;
        expected += c == 6 || c == 10 ? 7 : (c == 13 ? 6 : 2);
    }
    FUZZ_CHECK(t.text.size() == expected);
    for (char r : t.text) FUZZ_CHECK(r >= ' ' && r <= 'z');
    FUZZ_CHECK(t.hasBlank == (text.find(' ') != std::string::npos));
    FUZZ_CHECK(t.hasCarriageReturn == (text.find('\r') != std::string::npos));
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    zelt::Transcript pieces = zelt::renderTranscript(text.substr(0, cut));
    zelt::appendTranscript(pieces, text.substr(cut));
    FUZZ_CHECK(pieces.text == t.text);
    return 0;
}
