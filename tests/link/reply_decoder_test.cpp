#include <gtest/gtest.h>

#include "link/reply_decoder.h"
#include "link/transcript.h"

namespace zelt {
namespace {

// The decoder reads the reply line, which is always the rendering of the received text.
std::optional<std::string> decode(const std::string& command, const std::string& received) {
    return decodeReply(command + "\r", received, renderTranscript(received).text);
}

struct Row {
    const char* command;
    std::string received;
    std::optional<std::string> phrase;
};

TEST(ReplyDecoder, EveryRowOfTheKeyedTables) {
    const Row rows[] = {
        {"CR0", "00\r", " Power ON"},
        {"CR0", "80\r", " Stand by"},
        {"CR0", "40\r", " Count down"},
        {"CR0", "20\r", " Cooling down"},
        {"CR0", "10\r", " Power abnormality"},
        {"CR0", "08\r", " Temperature abnormality"},
        {"CR0", "18\r", " Temperature abnormality"},
        {"CR0", "28\r", " Temperature abnormality"},
        {"CR0", "48\r", " Temperature abnormality"},
        {"CR0", "88\r", " Temperature abnormality"},
        {"CR0", "21\r", " Lamp Failure"},
        {"CR0", "81\r", " Lamp Failure"},
        {"CR1", "1\r", " Input 1"},
        {"CR1", "2\r", " Input 2"},
        {"CR1", "3\r", " Input 3"},
        {"CR1", "4\r", " Wired"},
        {"CR1", "5\r", " Wireless/Viewer"},
        {"CR4", "11\r", " Normally"},
        {"CR4", "10\r", " Top/Bottom reversal"},
        {"CR4", "01\r", " Left/Right reversal"},
        {"CR4", "00\r", " Top/Bottom , Left/Right reversal"},
        {"CR LAMPSTS", "000 1I\r", " Lamp is ON"},
        {"CR LAMPSTS", "000 1O\r", " Lamp is OFF"},
        {"CR LAMPSTS", "000 1X\r", " Lamp is failure"},
        // The key is the reply's beginning: what follows it does not matter.
        {"CR0", "00", " Power ON"},
        {"CR0", "00\r\n", " Power ON"},
        {"CR1", "4", " Wired"},
        {"CR1", "45\r", " Wired"},
        {"CR LAMPSTS", "000 1O", " Lamp is OFF"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(decode(r.command, r.received), r.phrase) << r.command << " <- " << renderTranscript(r.received).text;
    }
}

TEST(ReplyDecoder, NearMissesLeaveTheStatusLineAlone) {
    const Row rows[] = {
        {"CR0", "0", std::nullopt},  // first piece of "00": key " 0 " is too short
        {"CR0", "01\r", std::nullopt},
        {"CR0", "11\r", std::nullopt},
        {"CR0", "41\r", std::nullopt},
        {"CR0",
         "\x06"
         "00\r",
         std::nullopt},  // an ACK in front shifts the key
        {"CR0", " 00\r", std::nullopt},
        {"CR0", "", std::nullopt},
        {"CR1", "6\r", std::nullopt},
        {"CR1", "0\r", std::nullopt},
        {"CR4", "12\r", std::nullopt},
        {"CR LAMPSTS", "000 1i\r", std::nullopt},
        {"CR LAMPSTS", "0001I\r", std::nullopt},
        {"CR LAMPSTS", "000 1", std::nullopt},
        {"CR3", "0012345\r", std::nullopt},              // seven characters
        {"CR3", "01234", std::nullopt},                  // five
        {"CR6", "025.0 030.5 041.0", std::nullopt},      // 17
        {"CR6", "025.0 030.5 041.0\r\n", std::nullopt},  // 19
        {"CR7", "1\r", std::nullopt},                    // no table for the lamp-mode button's query
        {"CR LAMPMODE", "000 ECO\r", std::nullopt},
        {"C00", "\x06", std::nullopt},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(decode(r.command, r.received), r.phrase) << r.command << " <- " << renderTranscript(r.received).text;
    }
}

TEST(ReplyDecoder, TheTableIsChosenByTheExactCommandText) {
    EXPECT_EQ(decodeReply("CR0", "00\r", renderTranscript("00\r").text), std::nullopt);  // no CR
    EXPECT_EQ(decodeReply("CR0\r\r", "00\r", renderTranscript("00\r").text), std::nullopt);
    EXPECT_EQ(decodeReply("cr0\r", "00\r", renderTranscript("00\r").text), std::nullopt);
    EXPECT_EQ(decodeReply("CR1\r", "00\r", renderTranscript("00\r").text), std::nullopt);  // " 0" is no input
    EXPECT_EQ(decodeReply("CR4\r", "00\r", renderTranscript("00\r").text), " Top/Bottom , Left/Right reversal");
}

TEST(ReplyDecoder, LampTimeBlanksLeadingZerosAndKeepsTheRest) {
    const Row rows[] = {
        {"CR3", "01234\r", "   1 2 3 4   Hour Use"},
        {"CR3", "12345\r", " 1 2 3 4 5   Hour Use"},
        {"CR3", "00000\r", std::string(12, ' ') + " Hour Use"},
        {"CR3", "01020\r", "   1 0 2 0   Hour Use"},  // zeros after the first digit stay
        {"CR3", "00007\r", "         7   Hour Use"},
        {"CR3", "0 120\r", "   _ 1 2 0   Hour Use"},  // a received blank shows as "_", a significant sign
    };
    for (const Row& r : rows) {
        EXPECT_EQ(decode(r.command, r.received), r.phrase) << r.received;
    }
}

TEST(ReplyDecoder, TemperaturesTakeTheThreeFields) {
    EXPECT_EQ(decode("CR6", "025.0 030.5 041.0\r"), " 0 2 5 . 0 deg C 0 3 0 . 5 deg C 0 4 1 . 0 deg C ");
    // Separators are skipped by position, whatever they are.
    EXPECT_EQ(decode("CR6", "100.0,-05.5,999.9\r"), " 1 0 0 . 0 deg C - 0 5 . 5 deg C 9 9 9 . 9 deg C ");
}

}  // namespace
}  // namespace zelt
