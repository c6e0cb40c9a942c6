// The value rules of the stay document: ids, age, date-times, guest type,
// gender, checkout, the key by which history members refer to their head,
// and the XML-safe form of a value. Pure functions on texts and numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jet/DBEngine.h"

namespace velmora {

// Completed years at the arrival date: the year difference, less one when
// the arrival's month and day come before the birth's. Both texts must form
// dates. Born 20000229: 23 on 20240228, 24 on 20240229.
int completedYears(std::string_view birth, std::string_view arrival);

// The number with at least `digits` digits, zero-filled on the left; a longer
// number whole; a negative one with its sign first.
std::string zeroFilled(long long value, int digits);

// 17 family head, 19 family member, 20 group member, 18 group head, 16 on
// their own: the first rule that holds, in this order.
int guestType(std::string_view capoFamiglia, double codiceCapoFamiglia, double codiceCapoGruppo,
              std::string_view capoGruppo);

// "1" for exactly "M", "2" for anything else.
const char* genderCode(std::string_view sesso);

// "false" for kind exactly "A", "true" for any other kind.
const char* checkoutText(std::string_view kind);

// The value by which history members refer to their head: the last six
// characters of the head's number read as a number (24004521 → 4521,
// 1234567 → 234567, 1000000 → 0).
long long historyMemberKey(long long numeroProgressivo);

// The value with every character that XML cannot carry as it stands ("<",
// ">", control characters C0, DEL and C1, U+FFFE, U+FFFF, each byte of a
// broken or invalid UTF-8 sequence) turned into a blank. "&" is left to the
// export.
std::string xmlSafe(std::string_view value);

// NumeroProgressivo as the writers take it: an integer number, or a text of
// digits (optional minus); Null or anything else gives nothing.
std::optional<long long> numeroProgressivoOf(const FieldValue& v);

}  // namespace velmora
