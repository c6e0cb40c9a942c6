// Value rules that need no database: calendar dates, completed years, the
// history's member key and values made safe for XML.
#include <gtest/gtest.h>

#include "stays/StayValues.h"

namespace velmora {
namespace {

TEST(StayValuesTest, FormsDate) {
    struct Row {
        const char* text;
        bool date;
    };
    const Row rows[] = {
        {"20240315", true},   {"20240229", true},  {"20000229", true},  {"20230229", false},
        {"19000229", false},  {"20241231", true},  {"20241301", false}, {"20240001", false},
        {"20240400", false},  {"20240431", false}, {"00000101", false}, {"2024031", false},
        {"202403150", false}, {"2024 315", false}, {"2024031a", false}, {" ", false},
        {"", false},          {"-2024031", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(formsDate(row.text), row.date) << "\"" << row.text << "\"";
}

TEST(StayValuesTest, CompletedYearsAtArrival) {
    struct Row {
        const char* birth;
        const char* arrival;
        int age;
    };
    const Row rows[] = {
        {"19801231", "20240101", 43},  // birthday at the end of the year not reached
        {"19800101", "20241231", 44},
        {"20000229", "20240228", 23},  // the day before a 29 February birthday
        {"20000229", "20240229", 24},
        {"20000229", "20240301", 24},
        {"20000229", "20230228", 22},  // no 29 February that year: not yet
        {"20000229", "20230301", 23},
        {"20240315", "20240315", 0},  // born on the arrival day
        {"19800316", "20240315", 43},
        {"19800315", "20240315", 44},
    };
    for (const auto& row : rows)
        EXPECT_EQ(completedYears(row.birth, row.arrival), row.age)
            << row.birth << " arriving " << row.arrival;
}

TEST(StayValuesTest, HistoryMemberKeyIsTheLastSixDigits) {
    struct Row {
        long long number;
        long long key;
    };
    const Row rows[] = {{24004521, 4521}, {4521, 4521},        {1234567, 234567},
                        {1000000, 0},     {123456789, 456789}, {999999, 999999}};
    for (const auto& row : rows) EXPECT_EQ(historyMemberKey(row.number), row.key) << row.number;
}

TEST(StayValuesTest, XmlUnsafeCharactersBecomeBlanks) {
    EXPECT_EQ(xmlSafe("<12>"), " 12 ");
    EXPECT_EQ(xmlSafe("a\tb\rc\nd"), "a b c d");
    EXPECT_EQ(xmlSafe(std::string("x\0y\x1f\x7fz", 6)), "x y  z");
    EXPECT_EQ(xmlSafe("B&B Sole"), "B&B Sole");
    EXPECT_EQ(xmlSafe("CEFALÙ"), "CEFALÙ");
    // A stored date cut by position inside a character must not leave a
    // broken UTF-8 sequence in the document.
    EXPECT_EQ(xmlSafe("2026-03-1\xC3"), "2026-03-1 ");
    EXPECT_EQ(xmlSafe("\xA9" "1\xE2\x82"), " 1  ");
    EXPECT_EQ(xmlSafe("\xF0\x9F\x98\x80!"), "\xF0\x9F\x98\x80!");
}

}  // namespace
}  // namespace velmora
