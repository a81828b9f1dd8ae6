// A read-only multi-line text the user can select and copy from, with scroll bars. Window class EDIT:
// https://learn.microsoft.com/windows/win32/controls/edit-controls
#pragma once

#include "ui/Control.h"

namespace ui {

class TMemo : public TControl {
public:
    using TControl::TControl;
    const char* ClassName() const override { return "TMemo"; }
    void CreateHandle() override;
    bool TabStop() const override { return true; }
};

}  // namespace ui
