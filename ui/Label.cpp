#include "ui/Label.h"

#include "ui/Form.h"

namespace ui {

void TLabel::CreateHandle() {
    CreateChild("STATIC", SS_LEFT);
}

void TLabel::AdjustSize() {
    if (Handle() == nullptr) return;
    HDC dc = GetDC(Handle());
    HGDIOBJ previous = SelectObject(dc, owner_.Font());
    // An empty caption keeps the height of one line.
    const std::string text = Caption().empty() ? std::string(" ") : Caption();
    RECT bounds{0, 0, 0, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &bounds, DT_CALCRECT | DT_EXPANDTABS);
    SelectObject(dc, previous);
    ReleaseDC(Handle(), dc);
    const int width = Caption().empty() ? 0 : bounds.right - bounds.left;
    SetBounds(Left(), Top(), width, bounds.bottom - bounds.top);
}

}  // namespace ui
