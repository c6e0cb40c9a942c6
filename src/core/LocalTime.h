// A local date and time as the clock gives it, and the file-name stamps made
// from it: 12 digits YYYYMMDDhhnn for exchange log files, 14 digits with the
// seconds for stays files.
#pragma once

#include <string>

namespace velmora {

struct LocalTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "DD/MM/YYYY".
std::string dayText(const LocalTime& t);
// "DD/MM/YYYY alle hh:mm", as the messages and the reports say when.
std::string dayAndTimeText(const LocalTime& t);
// YYYYMMDDhhnn.
std::string stamp12(const LocalTime& t);
// YYYYMMDDhhnnss.
std::string stamp14(const LocalTime& t);

}  // namespace velmora
