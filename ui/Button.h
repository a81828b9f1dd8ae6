// A push button. Window class BUTTON, style BS_PUSHBUTTON:
// https://learn.microsoft.com/windows/win32/controls/buttons
#pragma once

#include "ui/Control.h"

namespace ui {

class TButton : public TControl {
public:
    using TControl::TControl;
    const char* ClassName() const override { return "TButton"; }
    void CreateHandle() override;
    bool TabStop() const override { return true; }

    // Presses the button in code: exactly what a click does. The button has no modal result, so a press
    // only runs OnClick.
    void Click();

    TNotifyEvent OnClick;

    // OnClick, and the properties of every control.
    void SetProperty(const std::string& property, const DesignValue& value,
                     const DesignReader& reader) override;

private:
    void Notify(WORD code) override;
};

}  // namespace ui
