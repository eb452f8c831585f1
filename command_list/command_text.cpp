#include "command_list/command_text.h"

#include "command_list/command_lists.h"
#include "link/wire.h"

namespace zelt {

namespace {
constexpr size_t kTabStop = 8;
}  // namespace

std::string editorTextFor(std::string_view item) {
    std::string text(commandPart(item));
    text += "[CR]";
    return text;
}

std::string sendTextFor(std::string_view editorText) {
    std::string text(commandPart(editorText));
    text += kCarriageReturn;
    return text;
}

bool holdsParameterMark(std::string_view item) { return item.find('%') != std::string_view::npos; }

std::string displayTextFor(std::string_view item) {
    std::string text;
    text.reserve(item.size() + 2 * kTabStop);
    for (char c : item) {
        if (c == '\t')
            text.append(kTabStop - text.size() % kTabStop, ' ');
        else
            text += c;
    }
    return text;
}

}  // namespace zelt
