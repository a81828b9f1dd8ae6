// The base of the program's top-level windows (the application window, the forms, the message dialog), as
// in the classic Win32 samples' BaseWindow: the window's class sends every message to one procedure, which
// keeps the object in the window's GWLP_USERDATA from WM_NCCREATE to WM_NCDESTROY and hands each message
// to the object's HandleMessage. An error that escapes a message goes to the application's error box.
#pragma once

#include <windows.h>

#include <exception>

namespace ui {

class Window {
public:
    // Null before the window is made and once it is destroyed.
    HWND Handle() const { return window_; }

    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

protected:
    Window() = default;
    ~Window() = default;

    // Registers a class of windows made by Create (cursor: the arrow); true when the class is there, made
    // now or before.
    static bool RegisterWindowClass(HINSTANCE instance, const char* className, UINT style, HICON icon,
                                    HBRUSH background);
    // Makes the window (CreateWindowExA) with this object as its handler; true when it was made. Messages
    // sent while it is made reach HandleMessage too, with Handle() already set.
    bool Create(DWORD exStyle, const char* className, const char* caption, DWORD style, int left, int top,
                int width, int height, HWND owner, HINSTANCE instance);

    // Answers one message of the window; what it does not answer goes to DefWindowProcA.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    HWND window_ = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// Shows an error that escaped an event in the application's error box; null stands for an error that is
// no std::exception.
void ShowEventError(const std::exception* error);

// Runs `work`; an error that escapes it goes to the application's error box, and the program goes on.
// Errors must never unwind through the system's code that called a window procedure.
template <class Work>
void Guarded(Work&& work) {
    try {
        work();
    } catch (const std::exception& error) {
        ShowEventError(&error);
    } catch (...) {
        ShowEventError(nullptr);
    }
}

}  // namespace ui
