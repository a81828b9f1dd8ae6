// Texts measured in a font as the screen shows them: the screen's device context is taken, the font
// selected, the text measured, and both given back. The forms, the labels and the message dialog all
// measure this way.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>
#include <type_traits>

namespace ui {

// A font a window made; deleted with its owner.
struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The screen's device context with `font` selected, while the object lives.
class ScreenDC {
public:
    explicit ScreenDC(HFONT font) : previous_(SelectObject(dc_, font)) {}
    ~ScreenDC() {
        SelectObject(dc_, previous_);
        ReleaseDC(nullptr, dc_);
    }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;

    HDC Handle() const { return dc_; }

private:
    HDC dc_ = GetDC(nullptr);
    HGDIOBJ previous_;
};

// Width and height of `text` on one line (GetTextExtentPoint32A).
inline SIZE TextExtent(HFONT font, std::string_view text) {
    const ScreenDC screen(font);
    SIZE size{};
    GetTextExtentPoint32A(screen.Handle(), text.data(), static_cast<int>(text.size()), &size);
    return size;
}

// The rectangle DrawTextA gives `text` with DT_CALCRECT and `format`; with DT_WORDBREAK the lines wrap
// within `width`.
inline RECT TextBounds(HFONT font, const char* text, UINT format, int width = 0) {
    const ScreenDC screen(font);
    RECT bounds{0, 0, width, 0};
    DrawTextA(screen.Handle(), text, -1, &bounds, DT_CALCRECT | format);
    return bounds;
}

}  // namespace ui
