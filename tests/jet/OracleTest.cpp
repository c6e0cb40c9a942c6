// The engine's case folding checked against GLib's, which the engine used
// before, for every code point (GLib kept on Linux for this test alone).
#include <gtest/gtest.h>
#include <glib.h>

#include "jet/TextFold.h"

namespace velmora::test {
namespace {

// The case folding the engine had through GLib.
char32_t glibFold(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
        return c == 0xFF ? 0x178 : c == 0xB5 ? 0x39C : c;
    }
    const auto folded = static_cast<char32_t>(g_unichar_toupper(g_unichar_tolower(c)));
    return folded < 0x80 ? c : folded;
}

TEST(Oracle, CaseFoldingAgreesWithGlibForEveryCodePoint) {
    std::size_t differ = 0;
    char32_t first = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (jet::foldCase(c) != glibFold(c) && differ++ == 0) first = c;
    }
    EXPECT_EQ(differ, 0u) << "first at U+" << std::hex << static_cast<unsigned>(first);
}

}  // namespace
}  // namespace velmora::test
