#include "ui/Button.h"

namespace ui {

void TButton::CreateHandle() {
    CreateChild("BUTTON", WS_TABSTOP | BS_PUSHBUTTON);
}

void TButton::Click() {
    if (OnClick) OnClick(this);
}

void TButton::Notify(WORD code) {
    if (code == BN_CLICKED) Click();
}

void TButton::SetProperty(const std::string& property, const DesignValue& value, const DesignReader& reader) {
    if (property == "OnClick") {
        OnClick = reader.Handler(value);
    } else {
        TControl::SetProperty(property, value, reader);
    }
}

}  // namespace ui
