// Jet text as the engine decodes it (Jet 3 in code page 1252 whatever the
// file names, Jet 4's UTF-16 with its compressed form) and texts compared as
// the criteria compare them: letter case ignored in every script, accents
// kept.
#include <gtest/gtest.h>

#include <string>

#include "jet/JetText.h"
#include "jet/TextFold.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using namespace std::string_literals;

std::string jet3(const std::string& stored) {
    return jet::jetTextToUtf8(stored, jet::JetTextForm::Jet3Cp1252);
}
std::string jet4(const std::string& stored) {
    return jet::jetTextToUtf8(stored, jet::JetTextForm::Jet4);
}
// "a|b" as "<", "=" or ">": how the engine orders a and b.
std::string folded(const std::string& pair) {
    const std::size_t bar = pair.find('|');
    const int c = jet::compareFolded(pair.substr(0, bar), pair.substr(bar + 1));
    return c < 0 ? "<" : c == 0 ? "=" : ">";
}

struct JetTextRow {
    const char* rule;
    std::string (*through)(const std::string& stored);
    std::string stored;
    std::string expected;
};

class JetText : public testing::TestWithParam<JetTextRow> {};

TEST_P(JetText, FollowsTheRule) {
    EXPECT_EQ(GetParam().through(GetParam().stored), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, JetText,
    testing::Values(
        JetTextRow{"jet3_1252_high_bytes_are_their_characters", jet3, "\x80\x85\x93\x94\x9F",
                   "\xE2\x82\xAC\xE2\x80\xA6\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8"},
        JetTextRow{"jet3_unassigned_1252_byte_is_its_control", jet3, "\x81\xE0",
                   "\xC2\x81\xC3\xA0"},
        JetTextRow{"jet4_compressed_switching_to_a_surrogate_pair", jet4,
                   "\xFF\xFE"
                   "R\x00\x3D\xD8\x01\xDE\x00"
                   "A"s,
                   "R\xF0\x9F\x98\x81"
                   "A"},
        JetTextRow{"jet4_unpaired_surrogate_kept_as_stored", jet4, "\x00\xDC"s, "\xED\xB0\x80"},
        JetTextRow{"jet4_odd_last_byte_is_a_replacement_character", jet4, "A\x00\x42"s,
                   "A\xEF\xBF\xBD"},
        JetTextRow{"fold_greek_ignores_case", folded,
                   "\xCE\xB1\xCE\xB8\xCE\xB7\xCE\xBD\xCE\xB1|"
                   "\xCE\x91\xCE\x98\xCE\x97\xCE\x9D\xCE\x91",
                   "="},
        JetTextRow{"fold_final_sigma_meets_sigma", folded, "\xCF\x82|\xCE\xA3", "="},
        JetTextRow{"fold_cyrillic_ignores_case", folded, "\xD0\xB4|\xD0\x94", "="},
        JetTextRow{"fold_keeps_accents", folded, "citta|CITT\xC3\x80", "<"},
        JetTextRow{"fold_latin_as_before", folded, "\xC3\xA0|\xC3\x80", "="},
        JetTextRow{"fold_no_letter_outside_ascii_meets_ascii", folded, "\xC4\xB1|I", ">"},
        JetTextRow{"fold_pair_of_different_length", folded, "\xE2\xB1\xA5|\xC8\xBA", "="},
        JetTextRow{"fold_orders_beyond_plane_0_after_letters", folded, "R\xF0\x9F\x98\x80|rz",
                   ">"}),
    RuleName());

}  // namespace
}  // namespace velmora::test
