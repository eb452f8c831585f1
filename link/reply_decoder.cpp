#include "link/reply_decoder.h"

#include "link/decoder_tables.h"
#include "link/transcript.h"

namespace zelt {

namespace {

// Characters of `s` from 1-based position `pos`, at most `count`; fewer when `s` is shorter.
std::string_view mid(std::string_view s, std::size_t pos, std::size_t count) {
    if (pos < 1 || pos > s.size()) return {};
    return s.substr(pos - 1, count);
}

// The walk over the reply line without its last five characters ("[CR] "): leading zeros and
// blanks stay blanks, everything from the first other character on is copied.
std::string lampTimePhrase(std::string_view r) {
    std::string phrase;
    bool significant = false;
    const std::size_t m = r.size() > 5 ? r.size() - 5 : 0;
    for (std::size_t i = 0; i < m; ++i) {
        const char c = r[i];
        if (!significant && (c == ' ' || c == '0')) {
            phrase += ' ';
        } else {
            phrase += c;
            significant = true;
        }
    }
    return phrase + " Hour Use";
}

// The three fields of the reply line, the separators and their blanks left out.
std::string temperaturePhrase(std::string_view r) {
    std::string phrase;
    phrase += mid(r, 1, 10);
    phrase += " deg C ";
    phrase += mid(r, 14, 9);
    phrase += " deg C ";
    phrase += mid(r, 26, 9);
    phrase += " deg C ";
    return phrase;
}

// Whether the reply line begins as `reply` shows there: its leading blank and the tokens of the
// reply's characters, the last one without its own trailing blank (" 8 0" for "80").
bool lineShows(std::string_view line, std::string_view reply) {
    if (line.empty() || line.front() != ' ') return false;
    line.remove_prefix(1);
    for (std::size_t i = 0; i < reply.size(); ++i) {
        std::string_view token = transcriptToken(static_cast<unsigned char>(reply[i]));
        if (i + 1 == reply.size()) token.remove_suffix(1);
        if (line.substr(0, token.size()) != token) return false;
        line.remove_prefix(token.size());
    }
    return true;
}

}  // namespace

std::optional<std::string> decodeReply(std::string_view commandText, std::string_view received,
                                       std::string_view replyLine) {
    for (const DecoderTable& table : decoderTables()) {
        if (commandText != table.command) continue;
        if (table.receivedLength != 0 && received.size() != table.receivedLength) continue;
        switch (table.rule) {
        case DecodeRule::KeyedRows: {
            for (const DecoderRow& row : table.rows) {
                if (lineShows(replyLine, row.reply)) return std::string(row.phrase);
            }
            return std::nullopt;
        }
        case DecodeRule::LampTime: return lampTimePhrase(replyLine);
        case DecodeRule::Temperatures: return temperaturePhrase(replyLine);
        }
    }
    return std::nullopt;
}

}  // namespace zelt
