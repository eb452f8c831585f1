#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/line_splitter.h"
#include "bridge/pjlink_protocol.h"

namespace zelt::pjlink {
namespace {

using K = LineEvent::Kind;

std::vector<LineEvent> feed(LineSplitter& splitter, std::string_view bytes) {
    std::vector<LineEvent> events;
    while (auto e = splitter.next(bytes)) events.push_back(*e);
    EXPECT_TRUE(bytes.empty());
    return events;
}

struct SplitCase {
    const char* what;
    bool digest;
    std::vector<std::string> chunks;
    std::vector<LineEvent> events;
};

const std::string kMaxContent(kMaxLineBytes - 1, 'x');
const std::string kMaxWithDigest(kMaxLineBytes - 1 + kDigestLength, 'd');

TEST(LineSplitter, CutsLinesAtEachEndAndKeepsToTheLimit) {
    const SplitCase cases[] = {
        {"CR", false, {"%1POWR ?\r%1CLSS ?\r"}, {{K::Line, "%1POWR ?"}, {K::Line, "%1CLSS ?"}}},
        {"LF alone", false, {"a\nb\n"}, {{K::Line, "a"}, {K::Line, "b"}}},
        {"CRLF is one end", false, {"a\r\nb\r\n"}, {{K::Line, "a"}, {K::Line, "b"}}},
        {"CRLF across reads", false, {"a\r", "\nb\r"}, {{K::Line, "a"}, {K::Line, "b"}}},
        {"empty lines skipped", false, {"\r\r\n\n\n\ra\r"}, {{K::Line, "a"}}},
        {"a line in pieces", false, {"%1PO", "WR", " ?", "\r"}, {{K::Line, "%1POWR ?"}}},
        {"unfinished line kept back", false, {"a\rb"}, {{K::Line, "a"}}},
        {"at the limit", false, {kMaxContent + "\r"}, {{K::Line, kMaxContent}}},
        {"one byte over: cut, rest dropped to the end",
         false,
         {kMaxContent + "yz\rnext\r"},
         {{K::TooLong, kMaxContent}, {K::Line, "next"}}},
        {"over the limit across reads",
         false,
         {kMaxContent, "y", "zzz", "\r\nnext\r"},
         {{K::TooLong, kMaxContent}, {K::Line, "next"}}},
        {"first line may carry a digest",
         true,
         {kMaxWithDigest + "\r" + kMaxContent + "\r"},
         {{K::Line, kMaxWithDigest}, {K::Line, kMaxContent}}},
        {"only the first", true, {"a\r" + kMaxContent + "x\r"}, {{K::Line, "a"}, {K::TooLong, kMaxContent}}},
        {"first line over its limit", true, {kMaxWithDigest + "x\r"}, {{K::TooLong, kMaxWithDigest}}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.what);
        LineSplitter whole(c.digest);
        std::vector<LineEvent> got;
        for (const std::string& chunk : c.chunks) {
            for (LineEvent& e : feed(whole, chunk)) got.push_back(std::move(e));
        }
        EXPECT_EQ(got, c.events);

        // Byte by byte: the same events.
        LineSplitter bytewise(c.digest);
        std::vector<LineEvent> single;
        for (const std::string& chunk : c.chunks) {
            for (const char b : chunk) {
                for (LineEvent& e : feed(bytewise, std::string(1, b))) single.push_back(std::move(e));
            }
        }
        EXPECT_EQ(single, c.events);
    }
}

TEST(LineSplitter, AMegabyteWithoutAnEndHoldsNoMoreThanOneLine) {
    LineSplitter splitter;
    const std::string chunk(4096, 'A');
    std::vector<LineEvent> events;
    for (int i = 0; i < 256; ++i) {
        for (LineEvent& e : feed(splitter, chunk)) events.push_back(std::move(e));
        ASSERT_LE(splitter.pendingBytes(), kMaxLineBytes);
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, K::TooLong);
    EXPECT_EQ(feed(splitter, "\r%1CLSS ?\r"), (std::vector<LineEvent>{{K::Line, "%1CLSS ?"}}));
}

}  // namespace
}  // namespace zelt::pjlink
