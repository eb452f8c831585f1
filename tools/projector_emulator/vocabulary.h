#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::emulator {

// The command texts the projector understands. A pattern may hold "%" marks, each standing for
// exactly one decimal digit; every other character must match itself. A command that still holds
// a "%" therefore matches nothing.
class Vocabulary {
public:
    explicit Vocabulary(const std::vector<std::string_view>& patterns);

    // The command parts of the three reference lists (basic, expanded and read).
    static Vocabulary fromCommandLists();

    bool contains(std::string_view command) const;
    size_t size() const { return exact_.size() + marked_.size(); }

private:
    std::set<std::string, std::less<>> exact_;  // no marks: one look-up
    std::vector<std::string> marked_;           // with marks: few, compared one by one
};

}  // namespace zelt::emulator
