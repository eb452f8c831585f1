#include "link/transcript.h"

#include <array>

#include "link/wire.h"

namespace zelt {

namespace {

constexpr auto kAckCode = static_cast<unsigned char>(kAck);
constexpr auto kCrCode = static_cast<unsigned char>(kCarriageReturn);
constexpr auto kLfCode = static_cast<unsigned char>(kLineFeed);

// Tokens for all 256 codes, built once; "!".."z" stand for themselves.
struct TokenTable {
    std::array<std::string, 256> tokens;
    TokenTable() {
        for (int c = 0; c < 256; ++c) {
            if (c > ' ' && c <= 'z')
                tokens[c] = std::string(1, static_cast<char>(c)) + " ";
            else
                tokens[c] = "? ";
        }
        tokens[kAckCode] = " [ACK] ";
        tokens[kCrCode] = " [CR] ";
        tokens[kLfCode] = " [LF]  ";
        tokens[' '] = "_ ";
    }
};

const TokenTable& table() {
    static const TokenTable t;
    return t;
}

}  // namespace

std::string_view transcriptToken(unsigned char c) { return table().tokens[c]; }

std::size_t transcriptWidth(std::string_view text) {
    const auto& tokens = table().tokens;
    std::size_t width = 0;
    for (char ch : text) width += tokens[static_cast<unsigned char>(ch)].size();
    return width;
}

void appendTranscript(Transcript& into, std::string_view more) {
    const auto& tokens = table().tokens;
    // Small pieces ride on the string's own growth; a long text is sized once.
    if (more.size() > 64) into.text.reserve(into.text.size() + transcriptWidth(more));
    for (char ch : more) {
        const auto c = static_cast<unsigned char>(ch);
        into.text += tokens[c];
        if (c == ' ') into.hasBlank = true;
        if (c == kCrCode) into.hasCarriageReturn = true;
    }
}

Transcript renderTranscript(std::string_view text) {
    Transcript t;
    t.text = " ";
    appendTranscript(t, text);
    return t;
}

}  // namespace zelt
