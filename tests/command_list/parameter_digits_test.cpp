#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "command_list/command_lists.h"
#include "command_list/command_text.h"
#include "command_list/parameter_digits.h"

namespace zelt {
namespace {

constexpr std::nullopt_t kNone = std::nullopt;

TEST(ParameterDigits, DigitsOvertypeTheMarksInOrderAndOneCarriageReturnFollows) {
    struct Case {
        std::string command;
        std::optional<std::string_view> digits;
        std::string sent;
    };
    const Case cases[] = {
        {"CF BRIGHT 0%%", "50", "CF BRIGHT 050\r"},
        {"CF BRIGHT 0%%[CR]  \t\t:% = 0-9", "07", "CF BRIGHT 007\r"},  // an item: its command part
        {"CF LOGO %%%% DN[CR]", "1234", "CF LOGO 1234 DN\r"},
        {"C00", kNone, "C00\r"},
        {"C00[CR]     POWER ON", kNone, "C00\r"},
        {"CF INPUT1 ANALOG[CR]  \t\t:set input source to %1", kNone, "CF INPUT1 ANALOG\r"},
        {"cf bright 050", kNone, "cf bright 050\r"},                  // no case change, as the window
        {"CF NAME \xC3\xA9t\xC3\xA9", kNone, "CF NAME \xE9t\xE9\r"},  // Latin-1 on the line
    };
    for (const Case& c : cases) {
        const FilledCommand filled = fillParameterMarks(c.command, c.digits);
        EXPECT_TRUE(filled.ok()) << c.command << ": " << filled.error;
        EXPECT_EQ(filled.text, c.sent) << c.command;
    }
}

TEST(ParameterDigits, GivesTheSameBytesAsTheWindowForEveryListItem) {
    for (const auto list : {basicCommandList(), expandedCommandList(), readCommandList()}) {
        for (const std::string_view item : list) {
            const std::string part(commandPart(item));
            const std::size_t marks = std::count(part.begin(), part.end(), '%');
            const std::string digits(marks, '7');
            std::string typed = editorTextFor(item);  // what the operator overtypes in the window
            std::replace(typed.begin(), typed.end(), '%', '7');
            const FilledCommand filled =
                fillParameterMarks(item, marks ? std::optional<std::string_view>(digits) : std::nullopt);
            ASSERT_TRUE(filled.ok()) << item << ": " << filled.error;
            EXPECT_EQ(filled.text, sendTextFor(typed)) << item;
        }
    }
}

TEST(ParameterDigits, BadInputIsRefusedWithAReason) {
    struct Case {
        std::string command;
        std::optional<std::string_view> digits;
        const char* reason;
    };
    const Case cases[] = {
        {"CF BRIGHT 0%%", "5a", "digits 0 to 9 only"},
        {"CF BRIGHT 0%%", "-5", "digits 0 to 9 only"},
        {"CF BRIGHT 0%%", "500", "has 2 \"%\" marks but 3 digits were given"},
        {"CF BRIGHT 0%%", "5", "give 2 digits, one for each mark (1 digit given)"},
        {"CF BRIGHT 0%%", kNone, "give 2 digits, one for each mark (0 digits given)"},
        {"CF BRIGHT 0%%", "", "(0 digits given)"},
        {"C00", "1", "has no \"%\" marks, so it takes no digits"},
        {"C00", "", "has no \"%\" marks"},
        {"CF NAME \xE2\x82\xAC", kNone, "(U+20AC) at position 9, which one byte on the line cannot carry"},
        {"CF NAME \xE9", kNone, "is not valid UTF-8"},
        {"C0\tB", kNone, "control character 0x09 at position 3"},
        {"C00\r", kNone, "control character 0x0D at position 4"},
        {"C0\xC2\x85", kNone, "control character 0x85"},
        {"", kNone, "the command is empty"},
        {"[CR] C00", kNone, "the command is empty"},
    };
    for (const Case& c : cases) {
        const FilledCommand filled = fillParameterMarks(c.command, c.digits);
        EXPECT_FALSE(filled.ok()) << c.command;
        EXPECT_EQ(filled.text, "") << c.command;
        EXPECT_NE(filled.error.find(c.reason), std::string::npos) << c.command << ": " << filled.error;
    }
}

}  // namespace
}  // namespace zelt
