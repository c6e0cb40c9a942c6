// The one UTF-8 decoder: what is a character and how long it is, forwards and
// backwards, and text cut by characters.
#include <gtest/gtest.h>

#include "core/Utf8.h"

namespace velmora {
namespace {

struct Sequence {
    const char* rule;
    std::string text;
    char32_t codePoint;
    std::size_t length;
    bool valid;
};

void PrintTo(const Sequence& s, std::ostream* os) { *os << s.rule; }

class Utf8Decode : public testing::TestWithParam<Sequence> {};

TEST_P(Utf8Decode, FirstAndLastCharacter) {
    const Sequence& s = GetParam();
    for (const Utf8Char c : {decodeUtf8(s.text, 0), decodeUtf8Before(s.text, s.length)}) {
        EXPECT_EQ(c.codePoint, s.codePoint);
        EXPECT_EQ(c.length, s.length);
        EXPECT_EQ(c.valid, s.valid);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Decode,
    testing::Values(Sequence{"ascii", "a", 'a', 1, true},
                    Sequence{"two_bytes", "\xC3\xA0", 0xE0, 2, true},
                    Sequence{"three_bytes", "\xEF\xBF\xBF", 0xFFFF, 3, true},
                    Sequence{"four_bytes", "\xF0\x9F\x98\x80", 0x1F600, 4, true},
                    Sequence{"overlong_is_its_first_byte", "\xC0\xAF", 0xC0, 1, false},
                    Sequence{"overlong_three_bytes", "\xE0\x80\xAF", 0xE0, 1, false},
                    Sequence{"beyond_U_10FFFF", "\xF4\x90\x80\x80", 0xF4, 1, false},
                    Sequence{"cut_sequence", "\xE2\x82", 0xE2, 1, false},
                    Sequence{"lone_continuation_byte", "\x80", 0x80, 1, false},
                    Sequence{"encoded_surrogate_stays_whole", "\xED\xA0\x80", 0xD800, 3, false}),
    [](const testing::TestParamInfo<Sequence>& info) { return std::string(info.param.rule); });

TEST(Utf8, CutsByCharacters) {
    EXPECT_EQ(midCharacters("2024031\xC3\xA9", 7, 2), "1\xC3\xA9");
    EXPECT_EQ(midCharacters("\xC3\xA9\xFF"
                            "abc",
                            2, 2),
              "\xFF"
              "a");
    EXPECT_EQ(midCharacters("abc", 3, 5), "c");
    EXPECT_EQ(midCharacters("abc", 4, 1), "");
    EXPECT_EQ(midCharacters("abc", 0, 1), "");
    // The last byte alone when the bytes before it do not end in a character.
    EXPECT_EQ(decodeUtf8Before("\xC3\xA0\x80", 3).length, 1u);
}

}  // namespace
}  // namespace velmora
