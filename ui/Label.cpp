#include "ui/Label.h"

#include "ui/Form.h"
#include "ui/Measure.h"

namespace ui {

void TLabel::CreateHandle() {
    CreateChild("STATIC", SS_LEFT);
}

void TLabel::AdjustSize() {
    if (Handle() == nullptr) return;
    // An empty caption keeps the height of one line.
    const RECT bounds = TextBounds(owner_.Font(), Caption().empty() ? " " : Caption().c_str(), DT_EXPANDTABS);
    const int width = Caption().empty() ? 0 : bounds.right - bounds.left;
    SetBounds(Left(), Top(), width, bounds.bottom - bounds.top);
}

}  // namespace ui
