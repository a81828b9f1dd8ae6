#include "ui/ModalScope.h"

#include "ui/Application.h"

namespace ui {

namespace {

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

DisabledWindows::DisabledWindows(HWND keep) : active_(GetActiveWindow()) {
    const HWND application = Application::Instance().Handle();
    for (HWND window : ThreadWindows()) {
        if (window == keep || !IsWindowEnabled(window)) continue;
        if (window != application && !IsWindowVisible(window)) continue;
        EnableWindow(window, FALSE);
        disabled_.push_back(window);
    }
}

DisabledWindows::~DisabledWindows() {
    for (HWND window : disabled_) {
        if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    if (active_ != nullptr && IsWindow(active_) && IsWindowVisible(active_)) SetActiveWindow(active_);
}

}  // namespace ui
