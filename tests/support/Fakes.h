// Test doubles for the platform seams: a fixed clock, a monitor that keeps
// the exact text of both boxes, and dialogs that record instead of blocking.
#pragma once

#include <string>
#include <vector>

#include "core/LocalTime.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Monitor.h"

namespace velmora::test {

class FixedClock : public Clock {
public:
    explicit FixedClock(LocalTime t = {2026, 3, 5, 14, 7, 9}) : time(t) {}
    LocalTime now() const override { return time; }
    LocalTime time;
};

// Keeps each box's text exactly as the window's model would.
class RecordingMonitor : public Monitor {
public:
    void append(int box, const std::string& text) override {
        boxes[box] += "\r\n" + text;
        appends.push_back({box, text});
    }
    struct Append {
        int box;
        std::string text;
    };
    std::string boxes[2];
    std::vector<Append> appends;
};

class RecordingDialogs : public Dialogs {
public:
    // The style a question is recorded with: no message box has it.
    static constexpr int kQuestion = -1;

    void MsgBox(const std::string& prompt, int style, const std::string& title) override {
        boxes.push_back({prompt, style, title});
    }
    // Records the question as a box of style kQuestion and gives `answer`.
    bool Question(const std::string& prompt, const std::string& title) override {
        boxes.push_back({prompt, kQuestion, title});
        return answer;
    }
    bool answer = false;
    struct Box {
        std::string prompt;
        int style;
        std::string title;
    };
    std::vector<Box> boxes;
};

}  // namespace velmora::test
