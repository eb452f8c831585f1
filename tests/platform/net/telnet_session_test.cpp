#include <gtest/gtest.h>

#include "platform/net/telnet_session.h"

namespace zelt {
namespace {

using namespace telnet;

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

// What ser2net sends on connect (WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY,
// DO COM-PORT-OPTION), then its modem-state notice.
const std::string kSer2netGreeting = bytes({255, 251, 3,   255, 253, 3,   255, 251, 1,   255, 254, 1, 255, 253,
                                            0,   255, 251, 0,   255, 253, 44,  255, 250, 44,  107, 0, 255, 240});

struct Fed {
    std::string data;
    std::string reply;
};

Fed feed(TelnetSession& session, const std::string& input) {
    Fed out;
    session.receive(input, out.data, out.reply);
    return out;
}

TEST(TelnetSession, DataComesThroughWithTheServersCommandsTakenOut) {
    const std::pair<std::string, std::string> cases[] = {
        {"00\r", "00\r"},
        {bytes({'A', 255, 255, 'B'}), bytes({'A', 255, 'B'})},
        {bytes({255, 255, 255, 255}), bytes({255, 255})},
        {bytes({'x', 255, 241, 'y', 255, 249, 'z'}), "xyz"},                    // NOP, go-ahead
        {bytes({'a', 255, 250, 44, 101, 0, 0, 37, 128, 255, 240, 'b'}), "ab"},  // a speed acknowledgement
        {bytes({'a', 255, 250, 24, 255, 255, 255, 240, 'b'}), "ab"},            // IAC IAC inside a subnegotiation
        {bytes({255, 240, 'k'}), "k"},                                          // a stray SE
    };
    for (const auto& [input, data] : cases) {
        TelnetSession session;
        session.start(9600);
        EXPECT_EQ(feed(session, input).data, data);
    }
}

TEST(TelnetSession, AnswersSer2netsGreetingOnlyWhereItAsksSomethingNew) {
    TelnetSession session;
    const std::string start = session.start(19200);
    EXPECT_EQ(start.substr(0, 15), bytes({255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 251, 44}));
    EXPECT_EQ(start.substr(15), TelnetSession::serialSettings(19200));

    const Fed fed = feed(session, kSer2netGreeting);
    EXPECT_EQ(fed.data, "");
    EXPECT_EQ(fed.reply, bytes({255, 254, 1}));  // DONT ECHO: everything else answered our own offers
    for (uint8_t option : {kBinary, kSuppressGoAhead}) {
        EXPECT_TRUE(session.ourOption(option));
        EXPECT_TRUE(session.serverOption(option));
    }
    EXPECT_TRUE(session.ourOption(kComPort));
    EXPECT_FALSE(session.serverOption(1));
    // The same greeting again changes nothing and is not answered.
    EXPECT_EQ(feed(session, kSer2netGreeting).reply, "");
}

TEST(TelnetSession, RefusesUnknownOptionsOnceAndAnswersNoRepeats) {
    TelnetSession session;
    session.start(9600);
    const std::pair<std::string, std::string> steps[] = {
        {bytes({255, 253, 24}), bytes({255, 252, 24})},  // DO TERMINAL-TYPE -> WONT
        {bytes({255, 253, 24}), ""},                     // asked again: already refused
        {bytes({255, 251, 31}), bytes({255, 254, 31})},  // WILL NAWS -> DONT
        {bytes({255, 251, 31, 255, 252, 31}), ""},
        {bytes({255, 251, 44}), bytes({255, 254, 44})},  // the server's own COM-PORT side is not ours to take
        {bytes({255, 253, 0, 255, 251, 0}), ""},         // consent to our offers
        {bytes({255, 252, 0}), bytes({255, 254, 0})},    // the server stops binary: acknowledged once
        {bytes({255, 252, 0}), ""},
        {bytes({255, 251, 0}), bytes({255, 253, 0})},  // and starts it again
    };
    for (const auto& [input, reply] : steps) EXPECT_EQ(feed(session, input).reply, reply);
}

TEST(TelnetSession, ASequenceSplitAtAnyByteReadsAsAWhole) {
    const std::string stream = kSer2netGreeting + bytes({'C', 255, 255, 255, 250, 44, 101, 0, 0, 75, 0, 255, 240}) +
                               bytes({255, 253, 24, 'O', 'K', 255, 250, 5, 1, 255, 255, 2, 255, 240, '\r'});
    TelnetSession whole;
    whole.start(19200);
    const Fed expected = feed(whole, stream);
    EXPECT_EQ(expected.data, bytes({'C', 255, 'O', 'K', '\r'}));
    EXPECT_EQ(expected.reply, bytes({255, 254, 1, 255, 252, 24}));
    EXPECT_EQ(whole.acknowledgedBaud(), 19200u);

    for (size_t cut = 1; cut < stream.size(); ++cut) {
        TelnetSession split;
        split.start(19200);
        Fed got = feed(split, stream.substr(0, cut));
        const Fed rest = feed(split, stream.substr(cut));
        EXPECT_EQ(got.data + rest.data, expected.data) << "cut at " << cut;
        EXPECT_EQ(got.reply + rest.reply, expected.reply) << "cut at " << cut;
        EXPECT_EQ(split.acknowledgedBaud(), 19200u) << "cut at " << cut;
    }
    TelnetSession byByte;
    byByte.start(19200);
    Fed got;
    for (char c : stream) {
        const Fed one = feed(byByte, std::string(1, c));
        got.data += one.data;
        got.reply += one.reply;
    }
    EXPECT_EQ(got.data, expected.data);
    EXPECT_EQ(got.reply, expected.reply);
}

TEST(TelnetSession, AnEndlessSubnegotiationStaysBoundedAndIsDropped) {
    TelnetSession session;
    session.start(9600);
    // It even starts like a speed acknowledgement: an overlong one is not read.
    feed(session, bytes({255, 250, 44, 101, 0, 0, 37, 128}));
    std::string chunk;
    for (int i = 0; i < 4096; ++i) chunk += static_cast<char>(i % 255);  // no IAC: never ends
    chunk += bytes({255, 255});
    for (int i = 0; i < 256; ++i) {  // a megabyte
        const Fed fed = feed(session, chunk);
        EXPECT_EQ(fed.data, "");
        ASSERT_LE(session.held(), TelnetSession::kMaxSubnegotiation);
    }
    EXPECT_EQ(session.acknowledgedBaud(), 0u);
    // Its end brings the line back.
    EXPECT_EQ(feed(session, bytes({255, 240, 'O', 'K'})).data, "OK");
    EXPECT_EQ(session.held(), 0u);
}

TEST(TelnetSession, AMalformedSubnegotiationEndsAtTheNextCommand) {
    TelnetSession session;
    session.start(9600);
    const Fed fed = feed(session, bytes({255, 250, 44, 1, 2, 255, 251, 1, 'x'}));  // IAC WILL inside
    EXPECT_EQ(fed.reply, bytes({255, 254, 1}));
    EXPECT_EQ(fed.data, "x");
}

TEST(TelnetSession, EncodesDataAndSettings) {
    EXPECT_EQ(TelnetSession::escapeData(bytes({'C', 255, '0', 255, 255})),
              bytes({'C', 255, 255, '0', 255, 255, 255, 255}));
    EXPECT_EQ(TelnetSession::serialSettings(9600),
              bytes({255, 250, 44, 1,   0,   0,   0x25, 0x80, 255, 240, 255, 250, 44,  2,   8,  255, 240, 255, 250,
                     44,  3,   1,  255, 240, 255, 250,  44,   4,   1,   255, 240, 255, 250, 44, 5,   1,   255, 240}));
    // A value byte 0xFF is doubled inside the subnegotiation too.
    EXPECT_EQ(TelnetSession::serialSettings(0x0000FFFF).substr(0, 12),
              bytes({255, 250, 44, 1, 0, 0, 255, 255, 255, 255, 255, 240}));
}

TEST(TelnetSession, SpeedChangesGoOutUnlessTheServerRefusedTheOption) {
    TelnetSession session;
    session.start(9600);
    EXPECT_EQ(session.speedChange(19200), TelnetSession::serialSettings(19200));  // no answer yet: sent anyway
    feed(session, bytes({255, 253, 44}));
    EXPECT_EQ(session.speedChange(9600), TelnetSession::serialSettings(9600));

    TelnetSession refused;
    refused.start(9600);
    feed(refused, bytes({255, 254, 44}));
    EXPECT_EQ(refused.speedChange(19200), "");
}

}  // namespace
}  // namespace zelt
