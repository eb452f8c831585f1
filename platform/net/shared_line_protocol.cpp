#include "platform/net/shared_line_protocol.h"

#include <array>

namespace zelt::shared_line {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The first blank-separated word of `rest`, which loses it and the blank after it.
std::string_view word(std::string_view& rest) {
    const std::size_t blank = rest.find(' ');
    const std::string_view w = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view{} : rest.substr(blank + 1);
    return w;
}

constexpr std::array<std::string_view, 5> kOutcomes = {"answered", "not-understood", "no-reply", "not-sent",
                                                       "cancelled"};

Message invalid(std::string why) {
    Message m;
    m.text = std::move(why);
    return m;
}

}  // namespace

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c > 0x7E || c == '\\') {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 3 >= text.size()) return std::nullopt;
        if (text[i + 1] != 'x') return std::nullopt;
        const int high = hexValue(text[i + 2]);
        const int low = hexValue(text[i + 3]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return out;
}

std::string helloLine(const Hello& h) {
    std::string line =
        "hello " + std::to_string(kVersion) + " " + escape(h.name) + (h.up ? " up " : " down ") + escape(h.line);
    if (!h.up) line += " " + escape(h.reason);
    return line + "\n";
}

std::string sendLine(std::string_view command) { return "send " + escape(command) + "\n"; }

std::string replyLine(std::string_view outcome, std::string_view reply) {
    return "reply " + std::string(outcome) + " " + escape(reply) + "\n";
}

std::string errorLine(std::string_view reason) { return "error " + escape(reason) + "\n"; }

Message parseMessage(std::string_view line) {
    if (line.size() > kMaxMessageBytes) return invalid("the message is too long");
    std::string_view rest = line;
    const std::string_view kind = word(rest);
    Message m;
    if (kind == "send") {
        std::optional<std::string> command = unescape(rest);
        if (!command) return invalid("the command has a bad escape");
        if (command->empty() || command->back() != '\r') return invalid("a command ends with its carriage return");
        if (command->find('\r') != command->size() - 1) return invalid("one command at a time");
        if (command->size() > kMaxCommandBytes) return invalid("the command is too long");
        m.kind = Message::Kind::Send;
        m.command = std::move(*command);
        return m;
    }
    if (kind == "reply") {
        const std::string_view outcome = word(rest);
        bool known = false;
        for (const std::string_view o : kOutcomes) known = known || o == outcome;
        if (!known) return invalid("unknown outcome");
        std::optional<std::string> reply = unescape(rest);
        if (!reply) return invalid("the reply has a bad escape");
        m.kind = Message::Kind::Reply;
        m.reply = {std::string(outcome), std::move(*reply)};
        return m;
    }
    if (kind == "hello") {
        if (word(rest) != std::to_string(kVersion)) return invalid("another version of the shared line");
        std::optional<std::string> name = unescape(word(rest));
        const std::string_view state = word(rest);
        std::optional<std::string> lineText = unescape(state == "up" ? rest : word(rest));
        std::optional<std::string> reason = state == "up" ? std::string() : unescape(rest);
        if (!name || name->empty() || !lineText || !reason || (state != "up" && state != "down"))
            return invalid("a hello without its name, state or line");
        m.kind = Message::Kind::Hello;
        m.hello = {std::move(*name), state == "up", std::move(*lineText), std::move(*reason)};
        return m;
    }
    if (kind == "error") {
        std::optional<std::string> text = unescape(rest);
        if (!text) return invalid("the error has a bad escape");
        m.kind = Message::Kind::Error;
        m.text = std::move(*text);
        return m;
    }
    return invalid("unknown message");
}

}  // namespace zelt::shared_line
