#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "command_list/command_lists.h"

namespace zelt {
namespace {

using List = std::span<const std::string_view>;

struct NamedList {
    const char* name;
    List items;
    size_t count;
    size_t longest;
};

std::vector<NamedList> allLists() {
    return {
        {"basic", basicCommandList(), 60, 41},
        {"expanded", expandedCommandList(), 321, 82},
        {"read", readCommandList(), 88, 98},
    };
}

// Items are numbered from 1, as the operator counts them.
std::string_view item(List list, size_t position) { return list[position - 1]; }

// Tabs made visible, so a failing comparison shows where they are.
std::string visible(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

// What follows "[CR]": the separator and description, or nothing.
std::string_view afterCr(std::string_view text) { return text.substr(text.find("[CR]") + 4); }

TEST(CommandLists, CountsAndLongestItems) {
    for (const auto& list : allLists()) {
        EXPECT_EQ(list.items.size(), list.count) << list.name;
        size_t longest = 0;
        for (std::string_view text : list.items) longest = std::max(longest, text.size());
        EXPECT_EQ(longest, list.longest) << list.name;
    }
}

TEST(CommandLists, TheLongestItemIsUnique) {
    size_t longest = 0, withThatLength = 0;
    for (const auto& list : allLists()) {
        for (std::string_view text : list.items) {
            if (text.size() > longest) {
                longest = text.size();
                withThatLength = 0;
            }
            if (text.size() == longest) ++withThatLength;
        }
    }
    EXPECT_EQ(withThatLength, 1u);
}

TEST(CommandLists, ShortestItemsAreBareFourteenCharacters) {
    size_t shortest = SIZE_MAX;
    std::set<std::string_view> shortestItems;
    for (const auto& list : allLists()) {
        for (std::string_view text : list.items) {
            if (text.size() < shortest) {
                shortest = text.size();
                shortestItems.clear();
            }
            if (text.size() == shortest) shortestItems.insert(text);
        }
    }
    EXPECT_EQ(shortest, 14u);
    EXPECT_TRUE(shortestItems.contains("CF DISP UP[CR]"));
    for (std::string_view text : shortestItems) {
        EXPECT_TRUE(text.ends_with("[CR]")) << visible(text);
    }
}

TEST(CommandLists, LongestCommandText) {
    std::string_view longest;
    for (const auto& list : allLists()) {
        for (std::string_view text : list.items) {
            const std::string_view command = commandPart(text);
            if (command.size() > longest.size()) longest = command;
        }
    }
    EXPECT_EQ(longest, "CF INPUT COMPUTER1 ANALOG");
    EXPECT_EQ(longest.size(), 25u);
}

TEST(CommandLists, NoDuplicateCommandTextsWithinAList) {
    for (const auto& list : allLists()) {
        std::set<std::string_view> seen;
        for (std::string_view text : list.items) {
            EXPECT_TRUE(seen.insert(commandPart(text)).second) << list.name << ": " << commandPart(text);
        }
    }
}

TEST(CommandLists, CommandPartIsTheCommandTextFollowedByCr) {
    const auto allowed = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '%';
    };
    for (const auto& list : allLists()) {
        for (std::string_view text : list.items) {
            const std::string_view command = commandPart(text);
            SCOPED_TRACE(std::string(list.name) + ": " + visible(text));
            EXPECT_GE(command.size(), 3u);
            EXPECT_LE(command.size(), 25u);
            EXPECT_TRUE(std::all_of(command.begin(), command.end(), allowed));
            EXPECT_EQ(command.find('['), std::string_view::npos);
            EXPECT_EQ(command.find('\t'), std::string_view::npos);
            // "[CR]" exactly once, directly after the command text, and no other "[".
            EXPECT_TRUE(text.substr(command.size()).starts_with("[CR]"));
            EXPECT_EQ(text.find("[CR]"), command.size());
            EXPECT_EQ(text.find("[CR]", command.size() + 1), std::string_view::npos);
            EXPECT_EQ(std::count(text.begin(), text.end(), '['), 1);
        }
    }
}

TEST(CommandLists, ItemsArePrintableAsciiOrTabOfBoundedLength) {
    for (const auto& list : allLists()) {
        for (std::string_view text : list.items) {
            SCOPED_TRACE(std::string(list.name) + ": " + visible(text));
            EXPECT_GE(text.size(), 14u);
            EXPECT_LE(text.size(), 98u);
            for (char c : text) EXPECT_TRUE((c >= 0x20 && c <= 0x7E) || c == '\t') << int(c);
        }
    }
}

TEST(CommandLists, CommandPrefixes) {
    for (std::string_view text : basicCommandList()) {
        EXPECT_EQ(commandPart(text).size(), 3u) << text;
        EXPECT_EQ(text[0], 'C') << text;
    }
    for (std::string_view text : expandedCommandList()) {
        EXPECT_TRUE(text.starts_with("CF ")) << text;
    }
    for (std::string_view text : readCommandList()) {
        EXPECT_TRUE(text.starts_with("CR ")) << text;
    }
}

// An item read as the operator reads it: the command, "[CR]", then a basic item's five blanks
// and label, or blanks and tabs, ":" and a description, or nothing.
struct ParsedItem {
    std::string_view command, separator, description;
    bool parsed = false;
};

ParsedItem parse(std::string_view text, bool basic) {
    ParsedItem p;
    const size_t cr = text.find("[CR]");
    if (cr == std::string_view::npos) return p;
    p.command = text.substr(0, cr);
    const std::string_view rest = text.substr(cr + 4);
    if (rest.empty()) {
        p.parsed = !p.command.empty();
        return p;
    }
    if (basic) {
        p.separator = rest.substr(0, std::min<size_t>(5, rest.size()));
        p.description = rest.substr(p.separator.size());
        p.parsed = p.separator == "     ";
        return p;
    }
    const size_t colon = rest.find_first_not_of(" \t");
    if (colon == 0 || colon == std::string_view::npos || rest[colon] != ':') return p;
    p.separator = rest.substr(0, colon);
    p.description = rest.substr(colon + 1);
    p.parsed = true;
    return p;
}

TEST(CommandLists, EveryItemParses) {
    struct Case {
        const char* name;
        List items;
        bool basic, bareItems;
    };
    const Case cases[] = {
        {"basic", basicCommandList(), true, false},
        {"expanded", expandedCommandList(), false, true},
        {"read", readCommandList(), false, false},
    };
    for (const Case& c : cases) {
        for (std::string_view text : c.items) {
            SCOPED_TRACE(std::string(c.name) + ": " + visible(text));
            const ParsedItem p = parse(text, c.basic);
            ASSERT_TRUE(p.parsed);
            EXPECT_EQ(p.command, commandPart(text));
            if (p.separator.empty()) {
                EXPECT_TRUE(c.bareItems);
                continue;
            }
            // The label or description begins with a visible character.
            ASSERT_FALSE(p.description.empty());
            EXPECT_NE(p.description[0], ' ');
            EXPECT_NE(p.description[0], '\t');
        }
    }
}

TEST(CommandLists, BasicItemsHaveFiveBlanksBeforeTheLabel) {
    for (std::string_view text : basicCommandList()) {
        const std::string_view rest = afterCr(text);
        EXPECT_TRUE(rest.starts_with("     ")) << text;
        EXPECT_GT(rest.size(), 5u) << text;
        if (rest.size() > 5) {
            EXPECT_NE(rest[5], ' ') << text;
        }
        EXPECT_EQ(rest.find('\t'), std::string_view::npos) << text;
    }
}

TEST(CommandLists, BasicItemsAreInAscendingOrderOfTheirCommand) {
    const List basic = basicCommandList();
    for (size_t i = 1; i < basic.size(); ++i) EXPECT_LT(commandPart(basic[i - 1]), commandPart(basic[i])) << basic[i];
}

// The separator between "[CR]" and ":", or "bare" for an item that ends after "[CR]".
std::string separatorOf(std::string_view text) {
    const std::string_view rest = afterCr(text);
    if (rest.empty()) return "bare";
    const size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return "no colon";
    return visible(rest.substr(0, colon));
}

TEST(CommandLists, SeparatorKindsAreCounted) {
    std::map<std::string, int> read;
    for (std::string_view text : readCommandList()) ++read[separatorOf(text)];
    EXPECT_EQ(read, (std::map<std::string, int>{{" ", 25}, {" \\t", 63}}));

    // 120 runs: 119 first items with a description (one run has none) and 202 bare items.
    std::map<std::string, int> expanded;
    for (std::string_view text : expandedCommandList()) ++expanded[separatorOf(text)];
    EXPECT_EQ(
        expanded,
        (std::map<std::string, int>{
            {"bare", 202}, {"  \\t\\t", 90}, {"  \\t", 23}, {"  ", 1}, {"\\t\\t", 1}, {" \\t", 2}, {" \\t\\t", 2}}));
}

// The word after "CF ": what the commands of one run of the expanded list set.
std::string_view keyword(std::string_view text) {
    const std::string_view command = commandPart(text).substr(3);
    return command.substr(0, command.find(' '));
}

TEST(CommandLists, ExpandedBareItemsContinueTheRunBeforeThem) {
    const List expanded = expandedCommandList();
    std::set<std::string_view> described;
    for (std::string_view text : expanded) {
        if (!afterCr(text).empty()) described.insert(keyword(text));
    }
    // The items of words that never carry a description: the one run without any.
    std::vector<size_t> withoutDescription;
    for (size_t i = 0; i < expanded.size(); ++i) {
        if (!described.contains(keyword(expanded[i]))) {
            withoutDescription.push_back(i);
        } else if (afterCr(expanded[i]).empty()) {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(keyword(expanded[i]), keyword(expanded[i - 1])) << visible(expanded[i]);
        }
    }
    ASSERT_FALSE(withoutDescription.empty());
    EXPECT_EQ(withoutDescription.back() - withoutDescription.front() + 1, withoutDescription.size());
}

TEST(CommandLists, ParameterMarks) {
    std::vector<std::string_view> marksOnlyInDescription;
    int marksInCommand = 0;
    for (std::string_view text : expandedCommandList()) {
        const std::string_view command = commandPart(text);
        if (command.find('%') != std::string_view::npos) {
            ++marksInCommand;
        } else if (text.find('%') != std::string_view::npos) {
            marksOnlyInDescription.push_back(command);
        }
    }
    EXPECT_EQ(marksInCommand, 29);
    EXPECT_EQ(marksOnlyInDescription,
              (std::vector<std::string_view>{"CF INPUT1 ANALOG", "CF INPUT2 ANALOG", "CF INPUT3 HDMI",
                                             "CF INPUT4 VIDEO", "CF INPUT5 S-VIDEO"}));
    for (List list : {basicCommandList(), readCommandList()}) {
        for (std::string_view text : list) {
            EXPECT_EQ(text.find('%'), std::string_view::npos) << text;
        }
    }
    // Marks in the middle of a command.
    EXPECT_EQ(commandPart(item(expandedCommandList(), 234)), "CF LOGO %%%% OFF");
    EXPECT_EQ(item(expandedCommandList(), 238), "CF LOGO %%%% DN[CR]");
}

TEST(CommandLists, DescriptionsEndingInABlank) {
    std::vector<std::string> endInBlank;
    for (const auto& list : allLists()) {
        for (std::string_view text : list.items) {
            if (text.ends_with(' ')) endInBlank.push_back(visible(text));
        }
    }
    EXPECT_EQ(endInBlank, (std::vector<std::string>{
                              visible("CF FDEFAULT RST[CR]  \t\t:Set the value to Factory Default "),
                              visible("CR TEMPFAIL[CR] :"
                                      "Get temperature when sensors approach abnomal temperature "),
                          }));
}

TEST(CommandLists, EnglishItemHoldsEightBlanks) {
    const std::string_view english = item(expandedCommandList(), 197);
    EXPECT_EQ(visible(english), visible("CF LANG ENG[CR]  \t\t:Select English        Select language for OSD"));
    EXPECT_NE(english.find("English" + std::string(8, ' ') + "Select"), std::string_view::npos);
    EXPECT_EQ(english.find("English" + std::string(9, ' ')), std::string_view::npos);
}

TEST(CommandLists, ListsAreTheSameStorageOnEveryCall) {
    EXPECT_EQ(basicCommandList().data(), basicCommandList().data());
    EXPECT_EQ(expandedCommandList().data(), expandedCommandList().data());
    EXPECT_EQ(readCommandList().data(), readCommandList().data());
    EXPECT_EQ(expandedCommandList().front().data(), expandedCommandList().front().data());
}

TEST(CommandListsCommandPart, PlainTexts) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"ABC", "ABC"},
        {"[x", ""},
        {"", ""},
        {"A[B[C", "A"},
        {"AB\tC[D", "AB\tC"},
        {"CF BRIGHT 0%%[CR]  \t\t:% = 0-9", "CF BRIGHT 0%%"},
        {"C00[CR]     POWER ON", "C00"},
        {"CR0", "CR0"},
        {"]", "]"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(commandPart(text), expected) << visible(text);
    }
}

TEST(CommandListsCommandPart, IsAViewIntoTheSameText) {
    const std::string_view text = "CR LAMPH[CR] \t:Get lamp total running time";
    EXPECT_EQ(commandPart(text).data(), text.data());
}

}  // namespace
}  // namespace zelt
