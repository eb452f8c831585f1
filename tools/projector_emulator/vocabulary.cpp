#include "tools/projector_emulator/vocabulary.h"

#include "command_list/command_lists.h"

namespace zelt::emulator {
namespace {

bool matchesMarked(std::string_view pattern, std::string_view command) {
    if (pattern.size() != command.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char p = pattern[i];
        const char c = command[i];
        if (p == '%' ? !(c >= '0' && c <= '9') : p != c) return false;
    }
    return true;
}

}  // namespace

Vocabulary::Vocabulary(const std::vector<std::string_view>& patterns) {
    for (const std::string_view pattern : patterns) {
        if (pattern.find('%') == std::string_view::npos) {
            exact_.emplace(pattern);
        } else {
            marked_.emplace_back(pattern);
        }
    }
}

Vocabulary Vocabulary::fromCommandLists() {
    std::vector<std::string_view> patterns;
    for (const auto list : {basicCommandList(), expandedCommandList(), readCommandList()}) {
        for (const std::string_view item : list) patterns.push_back(commandPart(item));
    }
    return Vocabulary(patterns);
}

bool Vocabulary::contains(std::string_view command) const {
    if (exact_.find(command) != exact_.end()) return true;
    for (const std::string& pattern : marked_) {
        if (matchesMarked(pattern, command)) return true;
    }
    return false;
}

}  // namespace zelt::emulator
