// File-name stamps and the day text of a local time.
#include "LocalTime.h"

#include <cstdio>

namespace velmora {

std::string dayText(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.day, t.month, t.year);
    return buf;
}

std::string dayAndTimeText(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d", t.hour, t.minute);
    return dayText(t) + " alle " + buf;
}

std::string stamp12(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute);
    return buf;
}

std::string stamp14(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

}  // namespace velmora
