#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "bridge/pjlink_protocol.h"

namespace zelt::pjlink {
namespace {

struct ParseCase {
    std::string line;
    std::optional<Request> request;
    std::string response;  // when there is no request
};

// Apart, so that no "??=" is read as a trigraph.
const std::string kUnreadable =
    "%1????"
    "=ERR1\r";

TEST(PjlinkProtocol, ParsesClass1RequestsAndAnswersEverythingElseErr1) {
    const std::string longest(kMaxParameterBytes, 'p');
    const ParseCase cases[] = {
        {"%1POWR ?", Request{"POWR", "?"}, ""},
        {"%1INPT 31", Request{"INPT", "31"}, ""},
        {"%1AVMT 1 0", Request{"AVMT", "1 0"}, ""},  // the parameter is the body's to judge
        {"%1NAME " + longest, Request{"NAME", longest}, ""},
        {"%1NAME " + longest + "p", std::nullopt, "%1NAME=ERR1\r"},
        {"%2POWR ?", std::nullopt, "%2POWR=ERR1\r"},
        {"%1XXXX ?", std::nullopt, "%1XXXX=ERR1\r"},
        {"%1powr ?", std::nullopt, "%1powr=ERR1\r"},
        {"%1POWR", std::nullopt, "%1POWR=ERR1\r"},
        {"%1POWR ", std::nullopt, "%1POWR=ERR1\r"},
        {"%1POWR?", std::nullopt, "%1POWR=ERR1\r"},
        {"%1PO\nR ?", std::nullopt, "%1PO?R=ERR1\r"},
        {"%1PO", std::nullopt,
         "%1PO??"
         "=ERR1\r"},
        {"%9", std::nullopt,
         "%9????"
         "=ERR1\r"},
        {"%", std::nullopt, kUnreadable},
        {"hello", std::nullopt, kUnreadable},
        {"", std::nullopt, kUnreadable},
        {" %1POWR ?", std::nullopt, kUnreadable},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.line);
        const ParsedLine parsed = parseRequest(c.line);
        EXPECT_EQ(parsed.request, c.request);
        EXPECT_EQ(parsed.response, c.response);
    }
    EXPECT_EQ(tooLongResponse("%1INPT " + longest), "%1INPT=ERR1\r");
}

TEST(PjlinkProtocol, FormatsResponsesAndGreetings) {
    EXPECT_EQ(formatResponse("POWR", "1"), "%1POWR=1\r");
    EXPECT_EQ(formatResponse("NAME", ""), "%1NAME=\r");
    EXPECT_EQ(formatError("INPT", Error::OutOfParameter), "%1INPT=ERR2\r");
    EXPECT_EQ(formatError("AVMT", Error::UnavailableTime), "%1AVMT=ERR3\r");
    EXPECT_EQ(formatError("LAMP", Error::ProjectorFailure), "%1LAMP=ERR4\r");
    EXPECT_EQ(greeting(), "PJLINK 0\r");
    EXPECT_EQ(greeting("a572f60c"), "PJLINK 1 a572f60c\r");
    EXPECT_EQ(authenticationFailure(), "PJLINK ERRA\r");
}

TEST(PjlinkProtocol, SplitsTheDigestOffTheFirstLine) {
    const std::string digest = "e3d97429adffa11bce1f7275813d4bde";
    struct Case {
        std::string line, digest, rest;
    } cases[] = {
        {digest + "%1POWR ?", digest, "%1POWR ?"},
        {digest, digest, ""},
        {"%1POWR ?", "", "%1POWR ?"},
        {"E3D97429ADFFA11BCE1F7275813D4BDE%1POWR ?", "", "E3D97429ADFFA11BCE1F7275813D4BDE%1POWR ?"},
        {digest.substr(1) + "%1POWR ?", "", digest.substr(1) + "%1POWR ?"},
        {"e3d97429adffa11bce1f7275813d4bdg%1POWR ?", "", "e3d97429adffa11bce1f7275813d4bdg%1POWR ?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const DigestSplit split = splitDigest(c.line);
        EXPECT_EQ(split.digest, c.digest);
        EXPECT_EQ(split.rest, c.rest);
    }
}

}  // namespace
}  // namespace zelt::pjlink
