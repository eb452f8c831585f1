#include <gtest/gtest.h>

#include "link/transcript.h"

namespace zelt {
namespace {

std::string bytes(std::initializer_list<int> codes) {
    std::string s;
    for (int c : codes) s += static_cast<char>(c);
    return s;
}

TEST(Transcript, EveryKindOfCharacterHasItsToken) {
    const std::pair<std::string, std::string> cases[] = {
        {"", " "},
        {"C00\r", " C 0 0  [CR] "},
        {"CR0\r", " C R 0  [CR] "},
        {"00\r", " 0 0  [CR] "},
        {"\x06", "  [ACK] "},
        {"\n", "  [LF]  "},
        {"a\nb", " a  [LF]  b "},
        {" ", " _ "},
        {"CF LAMPMODE ECO\r", " C F _ L A M P M O D E _ E C O  [CR] "},
        {bytes({0}), " ? "},
        {"\t", " ? "},
        {"!", " ! "},
        {"z", " z "},
        {"{", " ? "},
        {"|", " ? "},
        {"}", " ? "},
        {"~", " ? "},
        {bytes({127}), " ? "},
        {bytes({128}), " ? "},
        {bytes({255}), " ? "},
        {bytes({5, 7, 11, 12, 14, 31}), " ? ? ? ? ? ? "},
        {"_?[]", " _ ? [ ] "},  // the signs themselves stand for themselves
    };
    for (const auto& [text, rendered] : cases) {
        EXPECT_EQ(renderTranscript(text).text, rendered) << "text of " << text.size() << " characters";
    }
}

TEST(Transcript, LegendsFollowBlanksAndCarriageReturnsOnly) {
    struct Case {
        std::string text;
        bool blank, cr;
    };
    const Case cases[] = {
        {"C00\r", false, true}, {"CF KEYDIS RC", true, false}, {"CF LAMPMODE ECO\r", true, true},
        {"", false, false},     {"\n\x06\t", false, false},    {"_", false, false},
    };
    for (const Case& c : cases) {
        const Transcript t = renderTranscript(c.text);
        EXPECT_EQ(t.hasBlank, c.blank) << c.text;
        EXPECT_EQ(t.hasCarriageReturn, c.cr) << c.text;
    }
}

TEST(Transcript, EveryByteValueGivesExactlyOneTokenOfItsWidth) {
    for (int c = 0; c < 256; ++c) {
        const std::string rendered = renderTranscript(std::string(1, static_cast<char>(c))).text;
        const size_t width = (c == 6 || c == 10) ? 7 : (c == 13 ? 6 : 2);
        EXPECT_EQ(rendered.size(), 1 + width) << "code " << c;
        EXPECT_EQ(rendered[0], ' ') << "code " << c;
        for (char r : rendered) EXPECT_TRUE(r >= ' ' && r <= 'z') << "code " << c;  // all visible ASCII
    }
}

TEST(Transcript, PositionTwoKHoldsTheKthSign) {
    std::string text;
    for (int c = 0; c < 256; ++c) {
        if (c != 6 && c != 10 && c != 13) text += static_cast<char>(c);
    }
    const std::string r = renderTranscript(text).text;
    ASSERT_EQ(r.size(), 1 + 2 * text.size());
    for (size_t k = 1; k <= text.size(); ++k) {
        const auto c = static_cast<unsigned char>(text[k - 1]);
        const char sign = c == ' ' ? '_' : (c > ' ' && c <= 'z' ? static_cast<char>(c) : '?');
        EXPECT_EQ(r[2 * k - 1], sign) << "k = " << k;  // 1-based position 2k
        EXPECT_EQ(r[2 * k], ' ') << "k = " << k;
    }
}

TEST(Transcript, AppendingPiecesGivesTheSameAsRenderingTheWhole) {
    const std::string whole = std::string("00\r\x06 ab\ncd{") + bytes({0, 200, 13});
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        Transcript t = renderTranscript(whole.substr(0, cut));
        appendTranscript(t, whole.substr(cut));
        const Transcript expected = renderTranscript(whole);
        EXPECT_EQ(t.text, expected.text) << "cut at " << cut;
        EXPECT_EQ(t.hasBlank, expected.hasBlank);
        EXPECT_EQ(t.hasCarriageReturn, expected.hasCarriageReturn);
    }
}

TEST(Transcript, RendersTheLongestBuffer) {
    const std::string text(32766, 'A');
    const Transcript t = renderTranscript(text);
    EXPECT_EQ(t.text.size(), 1u + 2 * 32766);
    EXPECT_EQ(t.text.substr(t.text.size() - 4), "A A ");
}

}  // namespace
}  // namespace zelt
