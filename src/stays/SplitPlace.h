// Cutting a birth place text ("PIAZZA ARMERINA EN I") into the place name and
// the words after it. The stay writers ask for the place name (part 3), the
// name the code lookups expect.
#pragma once

#include <string>

namespace velmora {

// Cuts the text, without its outer blanks, at its last two blanks into four
// parts and returns part `part` (0 to 3) without outer blanks:
//   0 the last word, 1 everything up to the last blank, 2 the second-to-last
//   word, 3 everything before the second-to-last word.
// "***" (the missing-place marker), an empty text and a part outside 0..3
// give "". Never fails.
//   SplitPlace("CATANIA CT I", 3) == "CATANIA"
//   SplitPlace("CATANIA CT", 3) == ""      SplitPlace("CATANIA", 0) == "ATANIA"
std::string SplitPlace(const std::string& text, int part);

// The part that names the place: everything before the last two words.
inline constexpr int kPlaceNamePart = 3;

// The place name of a birth place text, as the code lookups expect it:
//   placeName("PIAZZA ARMERINA EN I") == "PIAZZA ARMERINA"
inline std::string placeName(const std::string& birthPlace) {
    return SplitPlace(birthPlace, kPlaceNamePart);
}

}  // namespace velmora
