#include "ui/Window.h"

#include "repair/Errors.h"
#include "ui/Application.h"

namespace ui {

void ShowEventError(const std::exception* error) {
    if (error != nullptr) {
        Application::Instance().ShowException(*error);
    } else {
        Application::Instance().ShowException(repair::Error("Exception", "未知的错误"));
    }
}

bool Window::RegisterWindowClass(HINSTANCE instance, const char* className, UINT style, HICON icon,
                                 HBRUSH background) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Window::Create(DWORD exStyle, const char* className, const char* caption, DWORD style, int left, int top,
                    int width, int height, HWND owner, HINSTANCE instance) {
    Window* self = this;  // the procedure reads it back as a Window, whatever derives from it
    return CreateWindowExA(exStyle, className, caption, style, left, top, width, height, owner, nullptr,
                           instance, self) != nullptr;
}

LRESULT CALLBACK Window::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window is gone (destroyed by its object or by the system); the object keeps no stale handle.
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    Guarded([&] { result = self->HandleMessage(message, wParam, lParam); });
    return result;
}

}  // namespace ui
