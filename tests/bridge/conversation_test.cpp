#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "bridge/conversation.h"
#include "bridge/pjlink_routes.h"
#include "link/decoder_tables.h"
#include "link/wire.h"
#include "tools/projector_emulator/emulator_core.h"
#include "tools/projector_emulator/vocabulary.h"

namespace zelt::pjlink {
namespace {

const std::string kAckReply(1, zelt::kAck);

DeviceInfo named(const std::string& name) {
    DeviceInfo info;
    info.name = name;
    return info;
}

// A command the bridge must send next and what comes back; no reply: the time ran out.
struct Turn {
    std::string command;
    std::optional<std::string> reply;
};

struct ConversationCase {
    std::string body, parameter;
    std::vector<Turn> turns;
    std::string response;
};

std::vector<Turn> status(const std::string& cr0) { return {{"CR0\r", cr0 + "\r"}}; }

std::vector<Turn> operator+(std::vector<Turn> a, const std::vector<Turn>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Conversation, SendsEachRoutesCommandsAndAnswersFromTheReplies) {
    const std::vector<Turn> on = status("00");
    const ConversationCase cases[] = {
        {"POWR", "?", status("00"), "%1POWR=1\r"},
        {"POWR", "?", status("80"), "%1POWR=0\r"},
        {"POWR", "?", status("40"), "%1POWR=3\r"},
        {"POWR", "?", status("20"), "%1POWR=2\r"},
        {"POWR", "?", status("88"), "%1POWR=0\r"},
        {"POWR", "?", status("21"), "%1POWR=2\r"},
        {"POWR", "?", status("10"), "%1POWR=ERR4\r"},
        {"POWR", "?", status("?"), "%1POWR=ERR4\r"},
        {"POWR", "?", {{"CR0\r", std::nullopt}}, "%1POWR=ERR4\r"},
        {"POWR", "1", status("80") + std::vector<Turn>{{"C00\r", kAckReply}}, "%1POWR=OK\r"},
        {"POWR", "1", status("80") + std::vector<Turn>{{"C00\r", "?\r"}}, "%1POWR=ERR4\r"},
        {"POWR", "1", status("80") + std::vector<Turn>{{"C00\r", std::nullopt}}, "%1POWR=ERR4\r"},
        {"POWR", "1", status("40"), "%1POWR=OK\r"},
        {"POWR", "1", status("20"), "%1POWR=ERR3\r"},
        {"POWR", "1", status("10"), "%1POWR=ERR4\r"},
        {"POWR", "0", on + std::vector<Turn>{{"C02\r", kAckReply}}, "%1POWR=OK\r"},
        {"POWR", "0", status("80"), "%1POWR=OK\r"},
        {"POWR", "2", {}, "%1POWR=ERR2\r"},
        {"INPT", "11", on + std::vector<Turn>{{"C05\r", kAckReply}}, "%1INPT=OK\r"},
        {"INPT", "12", on + std::vector<Turn>{{"C06\r", kAckReply}}, "%1INPT=OK\r"},
        {"INPT", "21", on + std::vector<Turn>{{"C07\r", kAckReply}}, "%1INPT=OK\r"},
        {"INPT", "22", on + std::vector<Turn>{{"C34\r", kAckReply}}, "%1INPT=OK\r"},
        {"INPT", "31", on + std::vector<Turn>{{"C04\r", kAckReply}}, "%1INPT=OK\r"},
        {"INPT", "31", status("80"), "%1INPT=ERR3\r"},
        {"INPT", "31", status("40"), "%1INPT=ERR3\r"},
        {"INPT", "31", status("20"), "%1INPT=ERR3\r"},
        {"INPT", "31", status("10"), "%1INPT=ERR4\r"},
        {"INPT", "13", {}, "%1INPT=ERR2\r"},
        {"INPT", "41", {}, "%1INPT=ERR2\r"},
        {"INPT", "1", {}, "%1INPT=ERR2\r"},
        {"INPT", "?", {{"CR1\r", "1\r"}}, "%1INPT=11\r"},
        {"INPT", "?", {{"CR1\r", "3\r"}}, "%1INPT=31\r"},
        {"INPT", "?", {{"CR1\r", "4\r"}}, "%1INPT=21\r"},
        {"INPT", "?", {{"CR1\r", "5\r"}}, "%1INPT=22\r"},
        {"INPT", "?", {{"CR1\r", "6\r"}}, "%1INPT=ERR4\r"},
        {"AVMT", "11", on + std::vector<Turn>{{"C0D\r", kAckReply}}, "%1AVMT=OK\r"},
        {"AVMT", "20", on + std::vector<Turn>{{"C0C\r", kAckReply}}, "%1AVMT=OK\r"},
        {"AVMT", "31", on + std::vector<Turn>{{"C0D\r", kAckReply}, {"C0B\r", kAckReply}}, "%1AVMT=OK\r"},
        {"AVMT", "30", on + std::vector<Turn>{{"C0E\r", kAckReply}, {"C0C\r", "?\r"}}, "%1AVMT=ERR4\r"},
        {"AVMT", "21", status("80"), "%1AVMT=ERR3\r"},
        {"AVMT", "12", {}, "%1AVMT=ERR2\r"},
        {"AVMT", "?", {{"CR VMUTE\r", "ON\r"}, {"CR MUTE\r", "OFF\r"}}, "%1AVMT=11\r"},
        {"AVMT", "?", {{"CR VMUTE\r", "OFF\r"}, {"CR MUTE\r", "ON\r"}}, "%1AVMT=21\r"},
        {"AVMT", "?", {{"CR VMUTE\r", "ON\r"}, {"CR MUTE\r", "ON\r"}}, "%1AVMT=31\r"},
        {"AVMT", "?", {{"CR VMUTE\r", "OFF\r"}, {"CR MUTE\r", "OFF\r"}}, "%1AVMT=30\r"},
        {"AVMT", "?", {{"CR VMUTE\r", "000\r"}}, "%1AVMT=ERR4\r"},
        {"ERST", "?", status("00") + std::vector<Turn>{{"CR TEMPWARN\r", "NORMAL\r"}}, "%1ERST=000000\r"},
        {"ERST", "?", status("00") + std::vector<Turn>{{"CR TEMPWARN\r", "WARNING\r"}}, "%1ERST=001000\r"},
        {"ERST", "?", status("88") + std::vector<Turn>{{"CR TEMPWARN\r", "WARNING\r"}}, "%1ERST=002000\r"},
        {"ERST", "?", status("81") + std::vector<Turn>{{"CR TEMPWARN\r", "NORMAL\r"}}, "%1ERST=020000\r"},
        {"ERST", "?", status("10") + std::vector<Turn>{{"CR TEMPWARN\r", "NORMAL\r"}}, "%1ERST=000002\r"},
        {"ERST", "?", status("99"), "%1ERST=ERR4\r"},
        {"ERST", "1", {}, "%1ERST=ERR2\r"},
        {"LAMP", "?", {{"CR3\r", "01234\r"}, {"CR LAMPSTS\r", "000 1I\r"}}, "%1LAMP=1234 1\r"},
        {"LAMP", "?", {{"CR3\r", "00000\r"}, {"CR LAMPSTS\r", "000 1O\r"}}, "%1LAMP=0 0\r"},
        {"LAMP", "?", {{"CR3\r", "01234\r"}, {"CR LAMPSTS\r", "000 1X\r"}}, "%1LAMP=1234 0\r"},
        {"LAMP", "?", {{"CR3\r", "1234\r"}}, "%1LAMP=ERR4\r"},
        {"LAMP", "?", {{"CR3\r", "01234\r"}, {"CR LAMPSTS\r", std::nullopt}}, "%1LAMP=ERR4\r"},
        {"INST", "?", {}, "%1INST=11 12 21 22 31\r"},
        {"NAME", "?", {}, "%1NAME=Room 101\r"},
        {"INF1", "?", {}, "%1INF1=ZELT\r"},
        {"INF2", "?", {}, "%1INF2=QX480\r"},
        {"INFO", "?", {}, "%1INFO=\r"},
        {"CLSS", "?", {}, "%1CLSS=1\r"},
        {"CLSS", "2", {}, "%1CLSS=ERR2\r"},
        {"XXXX", "?", {}, "%1XXXX=ERR1\r"},
    };
    const DeviceInfo info = named("Room 101");
    for (const ConversationCase& c : cases) {
        SCOPED_TRACE(c.body + " " + c.parameter + " -> " + c.response);
        Conversation conversation(Request{c.body, c.parameter}, info);
        for (const Turn& turn : c.turns) {
            ASSERT_FALSE(conversation.finished());
            EXPECT_EQ(conversation.command(), turn.command);
            if (turn.reply) {
                conversation.reply(*turn.reply);
            } else {
                conversation.noReply();
            }
        }
        EXPECT_TRUE(conversation.finished());
        EXPECT_EQ(conversation.command(), "");
        EXPECT_EQ(conversation.response(), c.response);
    }
}

TEST(Conversation, DeviceTextsThatWouldBreakTheResponseAreRefused) {
    EXPECT_FALSE(deviceInfoProblem(named(std::string(kMaxNameBytes, 'n'))));
    EXPECT_TRUE(deviceInfoProblem(named(std::string(kMaxNameBytes + 1, 'n'))));
    EXPECT_TRUE(deviceInfoProblem(named("Room\r%1POWR=1")));
    DeviceInfo longModel;
    longModel.model = std::string(kMaxInfoBytes + 1, 'm');
    EXPECT_TRUE(deviceInfoProblem(longModel));
}

// Only commands of the projector's own command reference ever go on the line.
TEST(PjlinkRoutes, EveryCommandIsInTheCommandReference) {
    const auto vocabulary = emulator::Vocabulary::fromCommandLists();
    const std::vector<std::string_view> commands = projectorCommands();
    EXPECT_FALSE(commands.empty());
    for (const std::string_view command : commands) {
        ASSERT_TRUE(command.ends_with('\r')) << command;
        EXPECT_TRUE(vocabulary.contains(command.substr(0, command.size() - 1))) << command;
    }
}

// The replies the panel decodes for a query, as the projector sends them.
std::vector<std::string> decodedReplies(std::string_view query) {
    std::vector<std::string> replies;
    for (const DecoderTable& table : decoderTables()) {
        if (table.command != query) continue;
        for (const DecoderRow& row : table.rows) replies.emplace_back(row.reply);
    }
    return replies;
}

// The operating status has one table for both; the inputs and the lamp's state each have their
// own rules here.
TEST(PjlinkRoutes, EveryInputAndLampStateThePanelDecodesIsUnderstood) {
    for (const std::string& reply : decodedReplies("CR1\r")) {
        Conversation input(Request{"INPT", "?"}, {});
        input.reply(reply + "\r");
        EXPECT_NE(input.response(), "%1INPT=ERR4\r") << reply;
    }
    for (const std::string& reply : decodedReplies("CR LAMPSTS\r")) {
        Conversation lamp(Request{"LAMP", "?"}, {});
        lamp.reply("00012\r");
        lamp.reply(reply + "\r");
        EXPECT_NE(lamp.response(), "%1LAMP=ERR4\r") << reply;
    }
}

// Requests in order against the emulated projector, with its clock.
struct Asked {
    double at;
    std::string body, parameter, response;
};

std::string ask(emulator::EmulatorCore& projector, const Asked& a) {
    Conversation c(Request{a.body, a.parameter}, named("Room 101"));
    while (!c.finished()) {
        const std::string_view command = c.command();
        const emulator::Outcome outcome = projector.handle(command.substr(0, command.size() - 1), a.at);
        if (outcome.reply.empty()) {
            c.noReply();
        } else {
            c.reply(outcome.reply);
        }
    }
    return c.response();
}

TEST(Conversation, DrivesTheEmulatedProjector) {
    using emulator::Fault;
    const struct {
        Fault fault;
        std::vector<Asked> asked;
    } runs[] = {
        {Fault::None,
         {{1, "POWR", "?", "%1POWR=0\r"},      {1, "INPT", "31", "%1INPT=ERR3\r"},  {1, "AVMT", "21", "%1AVMT=ERR3\r"},
          {1, "AVMT", "?", "%1AVMT=30\r"},     {2, "POWR", "1", "%1POWR=OK\r"},     {3, "POWR", "?", "%1POWR=3\r"},
          {3, "INPT", "31", "%1INPT=ERR3\r"},  {6, "POWR", "?", "%1POWR=1\r"},      {6, "INPT", "31", "%1INPT=OK\r"},
          {6, "INPT", "?", "%1INPT=31\r"},     {6, "INPT", "22", "%1INPT=OK\r"},    {6, "INPT", "?", "%1INPT=22\r"},
          {6, "AVMT", "21", "%1AVMT=OK\r"},    {6, "AVMT", "?", "%1AVMT=21\r"},     {6, "AVMT", "31", "%1AVMT=OK\r"},
          {6, "AVMT", "?", "%1AVMT=31\r"},     {6, "AVMT", "30", "%1AVMT=OK\r"},    {6, "AVMT", "?", "%1AVMT=30\r"},
          {6, "LAMP", "?", "%1LAMP=1234 1\r"}, {6, "ERST", "?", "%1ERST=000000\r"}, {7, "POWR", "0", "%1POWR=OK\r"},
          {8, "POWR", "?", "%1POWR=2\r"},      {8, "POWR", "1", "%1POWR=ERR3\r"},   {8, "LAMP", "?", "%1LAMP=1234 0\r"},
          {11, "POWR", "?", "%1POWR=0\r"}}},
        {Fault::Temperature, {{1, "ERST", "?", "%1ERST=002000\r"}, {1, "POWR", "?", "%1POWR=0\r"}}},
        {Fault::Lamp,
         {{1, "ERST", "?", "%1ERST=020000\r"},
          {2, "POWR", "1", "%1POWR=OK\r"},
          {3, "POWR", "?", "%1POWR=2\r"},
          {3, "LAMP", "?", "%1LAMP=1234 0\r"}}},
        {Fault::Power,
         {{1, "POWR", "?", "%1POWR=ERR4\r"}, {1, "POWR", "1", "%1POWR=ERR4\r"}, {1, "ERST", "?", "%1ERST=000002\r"}}},
    };
    for (const auto& run : runs) {
        emulator::CoreConfig config;
        config.warmupSeconds = 3;
        config.cooldownSeconds = 3;
        config.lampHours = 1234;
        config.fault = run.fault;
        emulator::EmulatorCore projector(emulator::Vocabulary::fromCommandLists(), config, 0);
        for (const Asked& a : run.asked) {
            SCOPED_TRACE("fault " + std::to_string(static_cast<int>(run.fault)) + " at " + std::to_string(a.at) + ": " +
                         a.body + " " + a.parameter);
            EXPECT_EQ(ask(projector, a), a.response);
        }
    }
}

}  // namespace
}  // namespace zelt::pjlink
