// The texts of the service client: the end-of-day date and the token taken
// out of the login answer. The whole end-of-day message is checked where it
// is posted.
#include <gtest/gtest.h>

#include "service/ServiceMessages.h"

namespace velmora {
namespace {

TEST(ServiceMessagesTest, EndDayDateIsTakenByCharacterPosition) {
    struct Row {
        const char* day;
        const char* date;
    };
    const Row rows[] = {
        {"31/01/2025", "2025-01-31T10:00:00.000Z"},
        {"05/12/2026", "2026-12-05T10:00:00.000Z"},
        {"05-12-2026", "2026-12-05T10:00:00.000Z"},  // separators are not looked at
    };
    for (const Row& row : rows) EXPECT_EQ(EndDayDate(row.day), row.date) << row.day;
}

TEST(ServiceMessagesTest, TokenIsTheAnswerWithoutItsFirstAndLastCharacter) {
    struct Row {
        const char* rule;
        std::string answer;
        std::optional<std::string> token;
    };
    const Row rows[] = {
        {"text between double quotes", "\"abc\"", "abc"},
        {"two characters give an empty token", "\"\"", ""},
        {"any two outer characters go", "[tok]", "tok"},
        {"a trailing line end counts as the last character", "\"abc\"\n", "abc\""},
        {"accented token stays whole", "\"citt\xC3\xA0\"", "citt\xC3\xA0"},
        {"outer characters of two bytes each",
         "\xC2\xAB"
         "abc"
         "\xC2\xBB",
         "abc"},
        {"one character has no token", "x", std::nullopt},
        {"one two-byte character has no token", "\xC3\xA0", std::nullopt},
        {"empty answer has no token", "", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(TokenFromAnswer(row.answer), row.token) << row.rule;
}

}  // namespace
}  // namespace velmora
