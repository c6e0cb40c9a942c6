// Text exactly as stored, and well-formed documents for every stored text:
// room values planted as UTF-16 units in a real Jet 4 file and written by the
// register writer, byte values and dates through the value rules, Jet text
// decoding and case folding; every document piece is parsed by libxml2.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include "StaysTestSupport.h"
#include "jet/JetText.h"
#include "jet/TextFold.h"
#include "stays/StayValues.h"
#include "stays/StaysWriters.h"

namespace velmora {
namespace {

enum class Through {
    Room,   // UTF-16LE units of NumeroCamera in the register → RoomId
    Memo,   // the same, NumeroCamera made a memo kept in its row
    Value,  // UTF-8 bytes → xmlSafe
    Date,   // stored date → xmlSafe(dateTimeText)
    Jet3,   // code page 1252 bytes → UTF-8
    Jet4,   // Jet 4 stored bytes → UTF-8
    Fold,   // "a|b" → "<", "=" or ">" as the engine compares them
};

struct TextRule {
    const char* rule;
    Through through;
    std::string stored;
    std::string expected;
};

std::string u16(std::u16string_view units) {
    std::string bytes;
    for (char16_t c : units) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// Whether libxml2 reads the text as a well-formed document, no recovery.
bool wellFormed(const std::string& xml) {
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "doc.xml", "UTF-8",
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlFreeDoc(doc);
    return doc != nullptr;
}

// RoomId of the one register guest whose room is stored as these UTF-16LE
// bytes, as text or as a memo kept in its row; the whole register document
// must be well-formed. The room is written as as many U+0100 as it needs
// units (stored uncompressed), then overwritten in the file.
std::string roomThroughWriter(std::string stored, bool memo) {
    test::StaysFixture f;
    if (memo) {
        const std::size_t n = stored.size();
        stored = std::string{static_cast<char>(n), static_cast<char>(n >> 8), 0, '\x80'} +
                 std::string(8, '\0') + stored;
    }
    std::string header = test::kGuestHeader, placeholder;
    header.replace(header.find("NumeroCamera:Integer"), 20, "NumeroCamera:Text(40)");
    for (std::size_t k = 0; k < stored.size() / 2; ++k) placeholder += "\xC4\x80";
    test::writeTableText(f.dir, "Scheda_Cliente.mdb", "Scheda_Cliente",
                         header + "1|4521|ROSSI|U|N|0|0|20240315|20240320| |N|19800101|" +
                             "CATANIA CT I|I|CATANIA|M|" + placeholder + "\n");
    std::string file = f.dir.read("Scheda_Cliente.mdb");
    const std::size_t at = file.find(u16(std::u16string(stored.size() / 2, u'\u0100')));
    if (at == std::string::npos) return "placeholder not found";
    file.replace(at, stored.size(), stored);
    if (memo) {
        // The row's page names its definition; column 16's entry starts with its type.
        const std::size_t definition = static_cast<unsigned char>(file[at / 4096 * 4096 + 4]) |
                                       static_cast<unsigned char>(file[at / 4096 * 4096 + 5]) << 8;
        file[definition * 4096 + 63 + 25 * 16] = 0x0C;
    }
    f.dir.write("Scheda_Cliente.mdb", file);

    MemoryLineSink sink;
    WriteRegisterStays(f.ctx, "15/03/2024", "15/03/2024", sink, "A");
    std::string doc = "<StaysPmsDTO>";
    for (const auto& line : sink.lines()) doc += line;
    doc += "</StaysPmsDTO>";
    if (!wellFormed(doc)) return "not well-formed: " + doc;
    const std::size_t b = doc.find("<RoomId>") + 8;
    return doc.substr(b, doc.find("</RoomId>") - b);
}

std::string outcome(const TextRule& row) {
    switch (row.through) {
        case Through::Room:
        case Through::Memo:
            return roomThroughWriter(row.stored, row.through == Through::Memo);
        case Through::Value:
        case Through::Date: {
            const std::string value = row.through == Through::Value
                                          ? xmlSafe(row.stored)
                                          : xmlSafe(dateTimeText(row.stored, "T10:00:00.000Z"));
            return wellFormed("<v>" + value + "</v>") ? value : "not well-formed: " + value;
        }
        case Through::Jet3:
            return jet::jetTextToUtf8(row.stored, jet::JetTextForm::Jet3Cp1252);
        case Through::Jet4:
            return jet::jetTextToUtf8(row.stored, jet::JetTextForm::Jet4);
        case Through::Fold: {
            const std::size_t bar = row.stored.find('|');
            const int c = jet::compareFolded(row.stored.substr(0, bar), row.stored.substr(bar + 1));
            return c < 0 ? "<" : c == 0 ? "=" : ">";
        }
    }
    return {};
}

void PrintTo(const TextRule& row, std::ostream* os) { *os << row.rule; }

class TextRulesTest : public testing::TestWithParam<TextRule> {};

TEST_P(TextRulesTest, FollowsTheRule) { EXPECT_EQ(outcome(GetParam()), GetParam().expected); }

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Rules, TextRulesTest,
    testing::Values(
        TextRule{"room_as_stored", Through::Room, u16(u"12A"), "12A"},
        TextRule{"room_C0_controls_and_NUL_are_blanks", Through::Room, u16(u"1\u0001\u001B\0"s),
                 "1   "},
        TextRule{"room_tab_LF_CR_are_blanks", Through::Room, u16(u"\t\n\r"), "   "},
        TextRule{"room_DEL_and_C1_controls_are_blanks", Through::Room,
                 u16(u"12\u007F\u0080\u0085\u009FA"), "12    A"},
        TextRule{"room_U_FFFE_and_U_FFFF_are_blanks", Through::Room, u16(u"R\uFFFE\uFFFF"), "R  "},
        TextRule{"room_surrogate_pair_is_one_character", Through::Room, u16(u"R\xD83D\xDE00"),
                 "R\xF0\x9F\x98\x80"},
        TextRule{"room_unpaired_surrogates_are_blanks", Through::Room,
                 u16(u"R\xD83D"
                     u"A\xDE00"),
                 "R A "},
        TextRule{"memo_in_its_row_with_a_surrogate_pair_and_a_C1_control", Through::Memo,
                 u16(u"R\xD83D\xDE00\u0085"), "R\xF0\x9F\x98\x80 "},
        TextRule{"room_markup_and_letters_beyond_latin", Through::Room, u16(u"<\u03B1>\u20AC"),
                 " \xCE\xB1 \xE2\x82\xAC"},
        TextRule{"value_broken_sequence_bytes_are_blanks", Through::Value,
                 "A\xC3"
                 "B\xE2\x82",
                 "A B  "},
        TextRule{"value_invalid_bytes_and_overlong_forms_are_blanks", Through::Value,
                 "\xFF\xC0\xAF\xE0\x80\xAF"
                 "x",
                 "      x"},
        TextRule{"value_encoded_surrogate_is_one_blank", Through::Value,
                 "a\xED\xA0\x80"
                 "b",
                 "a b"},
        TextRule{"value_C1_control_is_a_blank", Through::Value,
                 "12\xC2\x85"
                 "A",
                 "12 A"},
        TextRule{"value_beyond_plane_0_kept", Through::Value, "\xF0\x9F\x98\x80",
                 "\xF0\x9F\x98\x80"},
        TextRule{"date_cut_by_characters", Through::Date, "2024031\xC3\xA9",
                 "2024-03-1\xC3\xA9T10:00:00.000Z"},
        TextRule{"date_cut_by_characters_before_an_accent", Through::Date,
                 "2024\xC3\xA9"
                 "315",
                 "2024-\xC3\xA9"
                 "3-15T10:00:00.000Z"},
        TextRule{"jet3_1252_high_bytes_are_their_characters", Through::Jet3, "\x80\x85\x93\x94\x9F",
                 "\xE2\x82\xAC\xE2\x80\xA6\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8"},
        TextRule{"jet3_unassigned_1252_byte_is_its_control", Through::Jet3, "\x81\xE0",
                 "\xC2\x81\xC3\xA0"},
        TextRule{"jet4_compressed_switching_to_a_surrogate_pair", Through::Jet4,
                 "\xFF\xFE"
                 "R\x00\x3D\xD8\x01\xDE\x00"
                 "A"s,
                 "R\xF0\x9F\x98\x81"
                 "A"},
        TextRule{"jet4_unpaired_surrogate_kept_as_stored", Through::Jet4, "\x00\xDC"s,
                 "\xED\xB0\x80"},
        TextRule{"jet4_odd_last_byte_is_a_replacement_character", Through::Jet4, "A\x00\x42"s,
                 "A\xEF\xBF\xBD"},
        TextRule{"fold_greek_ignores_case", Through::Fold,
                 "\xCE\xB1\xCE\xB8\xCE\xB7\xCE\xBD\xCE\xB1|"
                 "\xCE\x91\xCE\x98\xCE\x97\xCE\x9D\xCE\x91",
                 "="},
        TextRule{"fold_final_sigma_meets_sigma", Through::Fold, "\xCF\x82|\xCE\xA3", "="},
        TextRule{"fold_cyrillic_ignores_case", Through::Fold, "\xD0\xB4|\xD0\x94", "="},
        TextRule{"fold_keeps_accents", Through::Fold, "citta|CITT\xC3\x80", "<"},
        TextRule{"fold_latin_as_before", Through::Fold, "\xC3\xA0|\xC3\x80", "="},
        TextRule{"fold_no_letter_outside_ascii_meets_ascii", Through::Fold, "\xC4\xB1|I", ">"},
        TextRule{"fold_pair_of_different_length", Through::Fold, "\xE2\xB1\xA5|\xC8\xBA", "="},
        TextRule{"fold_orders_beyond_plane_0_after_letters", Through::Fold, "R\xF0\x9F\x98\x80|rz",
                 ">"}),
    [](const testing::TestParamInfo<TextRule>& info) { return std::string(info.param.rule); });

}  // namespace
}  // namespace velmora
