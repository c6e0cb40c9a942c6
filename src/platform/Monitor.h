// The message monitor seam: the two boxes of the window, Text2(0) for what is
// sent and Text2(1) for what comes back. The window appends to its widgets,
// batch mode prints, tests record.
#pragma once

#include <string>

namespace velmora {

enum MonitorBox : int { kSentBox = 0, kAnswersBox = 1 };

class Monitor {
public:
    virtual ~Monitor() = default;
    // Appends text to box 0 or 1: the box's text becomes old text, CR LF, text.
    virtual void append(int box, const std::string& text) = 0;
};

}  // namespace velmora
