#include "command_list/parameter_digits.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "command_list/command_lists.h"
#include "command_list/command_text.h"

namespace zelt {

namespace {

constexpr char kMark = '%';

// The code point that starts at `at` and its length in bytes; std::nullopt for a malformed, an
// overlong or a surrogate sequence.
std::optional<std::pair<char32_t, std::size_t>> decodeUtf8(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return std::pair{char32_t{lead}, std::size_t{1}};
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    if (at + length > text.size()) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return std::pair{cp, length};
}

bool isControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string codeName(char32_t cp) {
    char name[16];
    std::snprintf(name, sizeof name, cp <= 0xFF ? "0x%02X" : "U+%04X", static_cast<unsigned>(cp));
    return name;
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

FilledCommand fillParameterMarks(std::string_view command, std::optional<std::string_view> digits) {
    const auto fail = [](std::string why) { return FilledCommand{{}, std::move(why)}; };
    // "[" never occurs inside a multi-byte character, so the command part can be cut before decoding.
    const std::string_view part = commandPart(command);
    if (part.empty()) return fail("the command is empty: nothing comes before \"[\" or the text is empty");

    std::string bytes;
    for (std::size_t at = 0, position = 1; at < part.size(); ++position) {
        const auto decoded = decodeUtf8(part, at);
        if (!decoded) return fail("the command " + quoted(part) + " is not valid UTF-8 text");
        const auto [cp, length] = *decoded;
        if (isControl(cp))
            return fail("the command holds the control character " + codeName(cp) + " at position " +
                        std::to_string(position));
        if (cp > 0xFF)
            return fail("the command " + quoted(part) + " holds " + quoted(part.substr(at, length)) + " (" +
                        codeName(cp) + ") at position " + std::to_string(position) +
                        ", which one byte on the line cannot carry");
        bytes += static_cast<char>(cp);
        at += length;
    }

    const std::string_view typed = digits.value_or("");
    if (!std::all_of(typed.begin(), typed.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fail("the digits " + quoted(typed) + " must be digits 0 to 9 only");
    const auto marks = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), kMark));
    if (marks == 0 && digits)
        return fail("the command " + quoted(part) + " has no \"%\" marks, so it takes no digits (" + quoted(typed) +
                    " given)");
    if (typed.size() > marks)
        return fail("the command " + quoted(part) + " has " + plural(marks, "\"%\" mark", "\"%\" marks") + " but " +
                    plural(typed.size(), "digit was", "digits were") + " given");
    if (typed.size() < marks)
        return fail("the command " + quoted(part) + " has " + plural(marks, "\"%\" mark", "\"%\" marks") + ": give " +
                    plural(marks, "digit", "digits") + ", one for each mark (" +
                    plural(typed.size(), "digit", "digits") + " given)");

    std::size_t next = 0;
    for (char& c : bytes) {
        if (c == kMark) c = typed[next++];
    }
    return {sendTextFor(bytes), {}};
}

}  // namespace zelt
