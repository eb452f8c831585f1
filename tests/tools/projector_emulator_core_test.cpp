#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_list/command_lists.h"
#include "tools/projector_emulator/emulator_core.h"
#include "tools/projector_emulator/line_reader.h"
#include "tools/projector_emulator/log_format.h"
#include "tools/projector_emulator/options.h"

namespace zelt::emulator {
namespace {

const std::string kAckReply = "\x06";

// A command and the fake-clock second it arrives at.
struct Step {
    std::string command;
    double at;
};

EmulatorCore coreAfter(const std::vector<Step>& steps, Fault fault = Fault::None) {
    CoreConfig config;
    config.warmupSeconds = 3;
    config.cooldownSeconds = 3;
    config.lampHours = 1234;
    config.fault = fault;
    EmulatorCore core(Vocabulary::fromCommandLists(), config, 0.0);
    for (const Step& step : steps) core.handle(step.command, step.at);
    return core;
}

struct QueryCase {
    const char* state;
    Fault fault;
    std::vector<Step> before;
    double at;
    std::vector<std::pair<std::string, std::string>> replies;  // query, exact reply bytes
};

TEST(ProjectorEmulatorCore, QueriesAnswerInTheDecodedLayoutsInEachState) {
    const std::vector<Step> powerOn = {{"C00", 10}};
    const std::vector<Step> powerOnOff = {{"C00", 10}, {"C02", 20}};
    const QueryCase cases[] = {
        {"standby", Fault::None, {}, 1,
         {{"CR0", "80\r"}, {"CR LAMPSTS", "000 1O\r"}, {"CR1", "1\r"}, {"CR3", "01234\r"}, {"CR4", "11\r"},
          {"CR6", "025.0 025.5 026.0\r"}, {"CR7", "000 NORMAL\r"}, {"CR LAMPMODE", "000 NORMAL\r"},
          {"CR BRIGHT", "032\r"}, {"CR VOLUME", "016\r"}, {"CR FREEZE", "OFF\r"}}},
        {"count down", Fault::None, powerOn, 11, {{"CR0", "40\r"}, {"CR LAMPSTS", "000 1I\r"}}},
        {"on", Fault::None, powerOn, 13, {{"CR0", "00\r"}, {"CR LAMPSTS", "000 1I\r"}}},
        {"cooling down", Fault::None, powerOnOff, 21, {{"CR0", "20\r"}, {"CR LAMPSTS", "000 1O\r"}}},
        {"standby again", Fault::None, powerOnOff, 23, {{"CR0", "80\r"}, {"CR LAMPSTS", "000 1O\r"}}},
        {"temperature fault, standby", Fault::Temperature, {}, 1, {{"CR0", "88\r"}, {"CR TEMPWARN", "WARNING\r"}}},
        {"temperature fault, on", Fault::Temperature, powerOn, 13, {{"CR0", "08\r"}}},
        {"lamp fault, standby", Fault::Lamp, {}, 1, {{"CR0", "81\r"}, {"CR LAMPSTS", "000 1X\r"}}},
        {"lamp fault, after power on", Fault::Lamp, powerOn, 11, {{"CR0", "21\r"}, {"CR LAMPSTS", "000 1X\r"}}},
        {"lamp fault, cooled down", Fault::Lamp, powerOn, 14, {{"CR0", "81\r"}}},
        {"power fault", Fault::Power, powerOn, 13, {{"CR0", "10\r"}, {"CR LAMPSTS", "000 1O\r"}}},
        {"reversal: ceiling", Fault::None, {{"CF CEIL ON", 1}}, 2, {{"CR4", "10\r"}, {"CR CEIL", "ON\r"}}},
        {"reversal: rear", Fault::None, {{"CF REAR ON", 1}}, 2, {{"CR4", "01\r"}}},
        {"reversal: both", Fault::None, {{"CF CEIL ON", 1}, {"CF REAR ON", 1}}, 2, {{"CR4", "00\r"}}},
        {"lamp mode eco", Fault::None, {{"CF LAMPMODE ECO", 1}}, 2,
         {{"CR LAMPMODE", "000 ECO\r"}, {"CR7", "000 ECO\r"}}},
        {"lamp mode high", Fault::None, {{"CF LAMPMODE UP", 1}}, 2, {{"CR LAMPMODE", "000 HIGH\r"}}},
    };
    for (const QueryCase& c : cases) {
        EmulatorCore core = coreAfter(c.before, c.fault);
        for (const auto& [query, reply] : c.replies) {
            EXPECT_EQ(core.handle(query, c.at).reply, reply) << c.state << ", " << query;
        }
    }
}

TEST(ProjectorEmulatorCore, PowerSequenceFollowsTheClock) {
    EmulatorCore core = coreAfter({});
    EXPECT_EQ(core.handle("C00", 10), (Outcome{kAckReply, {"power=countdown"}}));
    EXPECT_EQ(core.nextTransitionAt(), 13.0);
    EXPECT_TRUE(core.advance(12.9).empty());
    EXPECT_EQ(core.advance(13.0), std::vector<std::string>{"power=on"});
    EXPECT_EQ(core.handle("C00", 14).changes, std::vector<std::string>{"power=on"});  // already on
    EXPECT_EQ(core.handle("C02", 20).changes, std::vector<std::string>{"power=cooling"});
    EXPECT_EQ(core.handle("C00", 21).changes, std::vector<std::string>{"power=cooling"});  // not while cooling
    EXPECT_EQ(core.advance(30), std::vector<std::string>{"power=standby"});
    EXPECT_FALSE(core.nextTransitionAt().has_value());

    // Power off during the count down cools down at once.
    core.handle("CF POWER ON", 40);
    EXPECT_EQ(core.handle("C01", 41).changes, std::vector<std::string>{"power=cooling"});
    EXPECT_EQ(core.handle("CR0", 43).reply, "20\r");
    EXPECT_EQ(core.handle("CR0", 44).reply, "80\r");
}

TEST(ProjectorEmulatorCore, FixedLengthRepliesKeepTheirLength) {
    for (const int hours : {0, 7, 1234, 99999}) {
        CoreConfig config;
        config.lampHours = hours;
        EmulatorCore core(Vocabulary::fromCommandLists(), config, 0.0);
        EXPECT_EQ(core.handle("CR3", 1).reply.size(), 6u) << hours;
    }
    EmulatorCore core = coreAfter({{"C00", 10}});
    const std::string cold = core.handle("CR6", 10).reply;
    const std::string warm = core.handle("CR6", 400).reply;
    ASSERT_EQ(cold.size(), 18u);
    ASSERT_EQ(warm.size(), 18u);
    EXPECT_EQ(warm, "030.5 041.0 055.5\r");  // at working temperature
    for (const size_t field : {0u, 6u, 12u}) {
        EXPECT_LT(std::stod(cold.substr(field, 5)), std::stod(warm.substr(field, 5))) << "field at " << field;
    }
    EXPECT_EQ(coreAfter({}).handle("CR3", 1).reply, "01234\r");
}

TEST(ProjectorEmulatorCore, UnknownAndUnfilledCommandsGetAQuestionMark) {
    EmulatorCore core = coreAfter({});
    for (const char* command : {"XYZ", "", "c00", "C00 ", "CR2", "CF BRIGHT 0%%", "CF VOLUME 0%5", "CF BRIGHT 0500",
                                "CF LOGO %%%% OFF", "CR BRIGHTNESS"}) {
        EXPECT_EQ(core.handle(command, 1), (Outcome{"?\r", {}})) << '"' << command << '"';
    }
    EXPECT_EQ(EmulatorCore::unknown().reply, "?\r");
}

TEST(ProjectorEmulatorCore, EveryCommandOfTheReferenceIsUnderstood) {
    EmulatorCore core = coreAfter({});
    auto filled = [](std::string_view text) {
        std::string command(commandPart(text));
        for (char& c : command) {
            if (c == '%') c = '1';
        }
        return command;
    };
    for (const auto list : {basicCommandList(), expandedCommandList(), readCommandList()}) {
        for (const std::string_view item : list) {
            const std::string command = filled(item);
            const std::string reply = core.handle(command, 1).reply;
            if (command.starts_with("CR")) {
                EXPECT_TRUE(reply.size() >= 2 && reply.back() == '\r' && reply != "?\r") << command;
            } else {
                EXPECT_EQ(reply, kAckReply) << command;
            }
        }
    }
}

struct SteppedCase {
    std::vector<std::string> commands;
    const char* name;
    int expected;
};

TEST(ProjectorEmulatorCore, SteppedValuesStayInTheirRange) {
    const std::vector<std::string> volumeUp(70, "C09");
    const std::vector<std::string> volumeDown(70, "C0A");
    const std::vector<std::string> keystoneUp(40, "C8E");
    const std::vector<std::string> keystoneDown(40, "CF KEYSTONE DN");
    const SteppedCase cases[] = {
        {{"C09"}, "volume", 17},
        {volumeUp, "volume", 63},
        {volumeDown, "volume", 0},
        {{"C20", "C20", "C21"}, "brightness", 33},
        {{"CF BRIGHT 050"}, "brightness", 50},
        {{"CF BRIGHT 099"}, "brightness", 63},
        {{"CF BRIGHT 099", "CF BRIGHT UP"}, "brightness", 63},
        {{"CF BRIGHT 000", "CF BRIGHT DN"}, "brightness", 0},
        {keystoneUp, "keystone", 30},
        {keystoneDown, "keystone", -30},
        {{"C8E", "C8E", "CF KEYSTONE RST"}, "keystone", 0},
        {{"CF TDOTS 0500"}, "totaldots", 1000},
        {{"C31"}, "dzoom", 0},
        {{"C30", "C30", "CF DZCENT CENT"}, "dzoom", 0},
    };
    for (const SteppedCase& c : cases) {
        EmulatorCore core = coreAfter({});
        std::string reply;
        for (const std::string& command : c.commands) reply += core.handle(command, 1).reply;
        EXPECT_EQ(reply, std::string(c.commands.size(), '\x06')) << c.commands.front();
        EXPECT_EQ(core.value(c.name), c.expected) << c.commands.front() << " x" << c.commands.size();
    }
    EmulatorCore core = coreAfter({{"CF BRIGHT 099", 1}, {"CF TDOTS 1500", 1}});
    EXPECT_EQ(core.handle("CR BRIGHT", 2).reply, "063\r");
    EXPECT_EQ(core.handle("CR TDOTS", 2).reply, "1500\r");
    EXPECT_EQ(core.handle("C09", 2).changes, std::vector<std::string>{"volume=17"});
}

TEST(ProjectorEmulatorCore, InputSelectionShowsInCR1) {
    const std::pair<const char*, const char*> cases[] = {
        {"C50", "1\r"}, {"C05", "1\r"}, {"C06", "2\r"}, {"C04", "3\r"}, {"C07", "4\r"}, {"C34", "5\r"},
        {"CF INPUT HDMI", "3\r"}, {"CF INPUT5 S-VIDEO", "5\r"}, {"CF INPUT DN", "5\r"}, {"CF INPUT UP", "2\r"},
    };
    for (const auto& [command, reply] : cases) {
        EmulatorCore core = coreAfter({});
        core.handle(command, 1);
        EXPECT_EQ(core.handle("CR1", 2).reply, reply) << command;
    }
    EmulatorCore core = coreAfter({{"C54", 1}});
    EXPECT_EQ(core.handle("CR SOURCE", 2).reply, "YPBPR\r");
}

TEST(ProjectorEmulatorCore, TogglesAndWordsChangePlausibly) {
    EmulatorCore core = coreAfter({});
    EXPECT_EQ(core.handle("C0B", 1).changes, std::vector<std::string>{"audiomute=ON"});
    EXPECT_EQ(core.handle("C0D", 1).changes, std::vector<std::string>{"videomute=ON"});
    EXPECT_EQ(core.handle("C43", 1).changes, std::vector<std::string>{"freeze=ON"});
    EXPECT_EQ(core.handle("C1C", 1).changes, std::vector<std::string>{"menu=ON"});
    EXPECT_EQ(core.handle("CF KEYDIS RC", 1).changes, std::vector<std::string>{"keydisable=RC"});
    EXPECT_EQ(core.handle("CR MUTE", 1).reply, "ON\r");
    EXPECT_EQ(core.handle("CR VMUTE", 1).reply, "ON\r");
    EXPECT_EQ(core.handle("CR KEYDIS", 1).reply, "RC\r");
    core.handle("CF FDEFAULT RST", 2);
    EXPECT_EQ(core.word("freeze"), "OFF");
    EXPECT_EQ(core.word("keydisable"), "NONE");
}

TEST(ProjectorEmulatorLineReader, CutsLinesAtCarriageReturnsFromAnyPieces) {
    LineReader reader;
    EXPECT_TRUE(reader.feed("C0").empty());
    auto lines = reader.feed("0\rCR\n0\r\nCR");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "C00");
    EXPECT_EQ(lines[1].text, "CR0");
    lines = reader.feed("1\r");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "CR1");
    EXPECT_FALSE(lines[0].overlong);

    lines = reader.feed(std::string(300, 'A') + "\rC00\r");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].overlong);
    EXPECT_EQ(lines[0].text.size(), LineReader::kMaxLine);
    EXPECT_EQ(lines[1].text, "C00");
    EXPECT_FALSE(lines[1].overlong);

    reader.feed("C0");
    reader.clear();
    lines = reader.feed("9\r");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "9");
}

TEST(ProjectorEmulatorOptions, ValuesAreReadAndChecked) {
    const ParsedOptions good = parseOptions({"--baud", "9600", "--delay=250", "--split", "2", "--fault", "temp",
                                             "--warmup-seconds", "0.5", "--log", "--link", "/tmp/x"});
    ASSERT_EQ(good.error, "");
    EXPECT_EQ(good.options.baud, 9600);
    EXPECT_EQ(good.options.delayMs, 250);
    EXPECT_EQ(good.options.splitBytes, 2);
    EXPECT_EQ(good.options.splitGapMs, 30);
    EXPECT_EQ(good.options.core.fault, Fault::Temperature);
    EXPECT_EQ(good.options.core.warmupSeconds, 0.5);
    EXPECT_TRUE(good.options.log);
    EXPECT_EQ(good.options.link, "/tmp/x");
    EXPECT_EQ(parseOptions({}).options.baud, 19200);

    const std::vector<std::vector<std::string_view>> bad = {
        {"--baud", "38400"}, {"--baud"},          {"--delay", "-1"},         {"--split", "0"},
        {"--fault", "fan"},  {"--flood", "0"},    {"--lamp-hours", "100000"}, {"--warmup-seconds", "abc"},
        {"--log=1"},         {"--bogus"},         {"extra"},                  {"--exit-after-seconds", "-3"},
    };
    for (const auto& args : bad) {
        EXPECT_NE(parseOptions(args).error, "") << args.front();
    }
    EXPECT_NE(usage().find("--vanish-after-seconds"), std::string::npos);
}

TEST(ProjectorEmulatorLog, LinesAreStableAndEscaped) {
    EXPECT_EQ(rxLine(12.3454, "C09", Outcome{kAckReply, {"volume=33"}}, true), "12.345 RX \"C09\" volume=33 -> ACK");
    EXPECT_EQ(rxLine(0.5, "CR0", Outcome{"80\r", {}}, true), "0.500 RX \"CR0\" -> \"80\\r\"");
    EXPECT_EQ(rxLine(1, "C00", Outcome{kAckReply, {"power=countdown"}}, false), "1.000 RX \"C00\" power=countdown -> none");
    EXPECT_EQ(quotedBytes(std::string("a\"\\\t\n\x01\x7f", 7)), "\"a\\\"\\\\\\t\\n\\x01\\x7F\"");
    EXPECT_EQ(stateLine(13, {"power=on"}), "13.000 STATE power=on");
    EXPECT_EQ(mismatchLine(2, "CR0\r", 9600, 19200), "2.000 MISMATCH \"CR0\\r\" speed=9600 expected=19200 -> none");
}

}  // namespace
}  // namespace zelt::emulator
