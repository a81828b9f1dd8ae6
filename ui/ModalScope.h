// While a modal window of the program shows (the message dialog, the error box), the program's other
// windows take no input. A DisabledWindows disables them for its lifetime and gives them back as they were.
#pragma once

#include <windows.h>

#include <vector>

namespace ui {

class DisabledWindows {
public:
    // Disables every enabled, visible top-level window of this thread except `keep`, and the application
    // window (which also takes the task-bar's clicks).
    explicit DisabledWindows(HWND keep);
    // Enables them again and activates the window that was active before.
    ~DisabledWindows();

    DisabledWindows(const DisabledWindows&) = delete;
    DisabledWindows& operator=(const DisabledWindows&) = delete;

private:
    std::vector<HWND> disabled_;
    HWND active_ = nullptr;
};

// Every top-level window of this thread.
std::vector<HWND> ThreadWindows();

}  // namespace ui
