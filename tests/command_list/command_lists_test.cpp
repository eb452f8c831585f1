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

TEST(CommandLists, ReadItem24IsTheLongestOfAll) {
    const std::string_view serSys = item(readCommandList(), 24);
    EXPECT_EQ(serSys,
              "CR SERSYS[CR] \t:Get selected current signal. "
              "When in Auto mode, it returns a result by Auto detect");
    EXPECT_EQ(serSys.size(), 98u);
    for (const auto& list : allLists()) {
        for (std::string_view text : list.items) {
            if (text != serSys) {
                EXPECT_LT(text.size(), 98u) << list.name << ": " << visible(text);
            }
        }
    }
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

TEST(CommandLists, FirstAndLastItems) {
    const std::pair<List, std::string_view> cases[] = {
        {basicCommandList(), "C00[CR]     POWER ON"},
        {expandedCommandList(), "CF BRIGHT UP[CR]  \t\t:Set Brightness value"},
        {readCommandList(), "CR BRIGHT[CR] \t:Get Brightness value"},
    };
    for (const auto& [list, first] : cases) EXPECT_EQ(visible(list.front()), visible(first));
    EXPECT_EQ(basicCommandList().back(), "CR7[CR]     Lamp Mode Read");
    EXPECT_EQ(expandedCommandList().back(), "CF VMUTE DN[CR]");
    EXPECT_EQ(visible(readCommandList().back()), visible("CR TEMPFAIL[CR] :"
                                                         "Get temperature when sensors approach abnomal temperature "));
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

TEST(CommandLists, BasicSpotChecks) {
    const std::pair<size_t, std::string_view> cases[] = {
        {2, "C01[CR]     POWER OFF(Quick Power OFF)"},
        {14, "C0F[CR]     Screen Normal size(4:3)"},
        {35, "C2E[CR]     Power Management Shut down"},
        {38, "C34[CR]     S-video"},
        {50, "C89[CR]     Auto PC ADJ."},
        {55, "CR0[CR]     Status Read"},
        {57, "CR3[CR]     (Corresponding)Lamp Time Read"},
    };
    for (const auto& [position, text] : cases) {
        EXPECT_EQ(item(basicCommandList(), position), text) << "basic item " << position;
    }
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

TEST(CommandLists, ExpandedSpotChecksOfEachSeparator) {
    const std::pair<size_t, std::string_view> cases[] = {
        // Two blanks, two tabs.
        {1, "CF BRIGHT UP[CR]  \t\t:Set Brightness value"},
        {3, "CF BRIGHT 0%%[CR]  \t\t:% = 0-9"},
        {234, "CF LOGO %%%% OFF[CR]  \t\t:Set Logo function"},
        // Two blanks, one tab.
        {93, "CF PCMODEFREE MODE1[CR]  \t:Relese registered values of Mode 1-5"},
        {118, "CF INPUT1 ANALOG[CR]  \t:Select Input11 and also set input source to %1"},
        {194, "CF VOLUME 0%%[CR]  \t:% = 0-9"},
        {304,
         "CF KEYEMU RIGHT[CR]  \t:"
         "Behave the same as corresponding key of projector top panel"},
        // Two blanks only.
        {103, "CF INPUT COMPUTER1[CR]  :Select Input"},
        // Two tabs only.
        {188, "CF LAMPMODE NORMAL[CR]\t\t:Select Lamp mode"},
        // One blank, one tab.
        {250, "CF TERMINAL COMPUTER[CR] \t:Set Terminal function"},
        {266, "CF PTIMEMODE COUNTUP[CR] \t:Set count up/count down P-timer function"},
        // One blank, two tabs.
        {268, "CF PTIMER START[CR] \t\t:Set the status of P-timer"},
        {273, "CF PTIME %%%[CR] \t\t:Set Countdown timer for P-timer"},
        // Bare items after a run's first item.
        {2, "CF BRIGHT DN[CR]"},
        {119, "CF INPUT1 YPBPR[CR]"},
        {232, "CF DISP UP[CR]"},
        {321, "CF VMUTE DN[CR]"},
    };
    for (const auto& [position, text] : cases) {
        EXPECT_EQ(visible(item(expandedCommandList(), position)), visible(text)) << "expanded item " << position;
    }
}

TEST(CommandLists, RunWithoutDescriptionIsSevenBareItems) {
    const std::string_view bare[] = {
        "CF SCREENASPECT 43MODE[CR]", "CF SCREENASPECT 169MODE[CR]", "CF SCREENASPECT 1610MODE[CR]",
        "CF HDMISETUP NORMAL[CR]",    "CF HDMISETUP ENHANCED[CR]",   "CF HDMISOUND HDMI[CR]",
        "CF HDMISOUND EXTERNAL[CR]",
    };
    for (size_t i = 0; i < std::size(bare); ++i) {
        EXPECT_EQ(item(expandedCommandList(), 243 + i), bare[i]);
    }
    // The run before it ends bare too; the run after it starts with a description.
    EXPECT_EQ(item(expandedCommandList(), 242), "CF REAR OFF[CR]");
    EXPECT_EQ(visible(item(expandedCommandList(), 250)), visible("CF TERMINAL COMPUTER[CR] \t:Set Terminal function"));
}

TEST(CommandLists, ReadSpotChecksOfEachSeparator) {
    const std::pair<size_t, std::string_view> cases[] = {
        {4, "CR TINT[CR] \t:Get Tint valu"},
        {14, "CR COLBOARD[CR] :Get Selected Colorboard mode"},
        {23, "CR PCSTORE[CR] \t:Get Free or Stored status for PC Adj.mode1-5"},
        {43, "CR LAMPCORRESPH[CR] :Get corresponding lamp use time"},
        {45, "CR LAMPSTS[CR] \t:Get lamp lighting status"},
        {51, "CR AUTOSETUPPCADJ[CR] :Get setting status of Auto PC in Auto setup"},
        {55, "CR LOGO[CR] \t:GET setting status of Logo"},
        {71, "CR RCODE[CR] \t:Get selsected Remote Control Code"},
        {86, "CR TEMPWARN[CR] :Get if temperature is close to abnomal temperature"},
        {87, "CR TEMP[CR] \t:Get current temperature atatus"},
    };
    for (const auto& [position, text] : cases) {
        EXPECT_EQ(visible(item(readCommandList(), position)), visible(text)) << "read item " << position;
    }
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
