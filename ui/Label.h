// A static text label, sized to its text. Window class STATIC:
// https://learn.microsoft.com/windows/win32/controls/static-controls
#pragma once

#include "ui/Control.h"

namespace ui {

class TLabel : public TControl {
public:
    using TControl::TControl;
    const char* ClassName() const override { return "TLabel"; }
    void CreateHandle() override;
    void Loaded() override { AdjustSize(); }

private:
    void CaptionChanged() override { AdjustSize(); }
    // Width and height of the caption in the form's font ("&" marks the next letter, as STATIC draws it).
    void AdjustSize();
};

}  // namespace ui
