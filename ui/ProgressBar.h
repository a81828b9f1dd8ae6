// A progress bar of the common controls (version 6 through the program's manifest). Window class
// msctls_progress32: https://learn.microsoft.com/windows/win32/controls/progress-bar-control-reference
#pragma once

#include "ui/Control.h"

namespace ui {

class TProgressBar : public TControl {
public:
    using TControl::TControl;
    const char* ClassName() const override { return "TProgressBar"; }
    void CreateHandle() override;

    // A range with its maximum below its minimum is refused: EPropertyError "TProgressBar 属性超界", the
    // range unchanged.
    void SetMin(int minimum);
    void SetMax(int maximum);
    // Passed on to the control, which keeps it within the range.
    void SetPosition(int position);

    // Min, Max, Position, and the properties of every control.
    void SetProperty(const std::string& property, const DesignValue& value,
                     const DesignReader& reader) override;

private:
    void SetRange(int minimum, int maximum);

    int min_ = 0;
    int max_ = 100;
    int position_ = 0;  // given to the control when it is made
};

}  // namespace ui
