#include "ui/Control.h"

#include "repair/Errors.h"
#include "ui/Form.h"

namespace ui {

TControl::TControl(TForm& owner, std::string name)
    : TComponent(std::move(name)), owner_(owner), id_(owner.NextControlId()) {
    owner.AddComponent(this);
}

void TControl::SetCaption(const std::string& caption) {
    caption_ = caption;
    if (handle_ != nullptr) SetWindowTextA(handle_, caption_.c_str());
    CaptionChanged();
}

void TControl::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (handle_ != nullptr) {
        SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TControl::SetProperty(const std::string& property, const DesignValue& value,
                           const DesignReader& reader) {
    if (property == "Left") {
        SetBounds(reader.Position(value), top_, width_, height_);
    } else if (property == "Top") {
        SetBounds(left_, reader.Position(value), width_, height_);
    } else if (property == "Width") {
        SetBounds(left_, top_, reader.Position(value), height_);
    } else if (property == "Height") {
        SetBounds(left_, top_, width_, reader.Position(value));
    } else if (property == "Caption") {
        SetCaption(DesignReader::Text(value));
    } else if (property == "TabOrder") {
        const int order = DesignReader::Integer(value);
        if (order < -1) RaiseInvalidPropertyValue();
        tabOrder_ = order;
    } else {
        TComponent::SetProperty(property, value, reader);
    }
}

void TControl::CreateChild(const char* windowClass, DWORD style) {
    handle_ =
        CreateWindowExA(0, windowClass, caption_.c_str(), WS_CHILD | WS_VISIBLE | style, left_, top_, width_,
                        height_, owner_.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                        GetModuleHandleA(nullptr), nullptr);
    if (handle_ == nullptr) repair::Error("EOSError", std::string("无法创建窗口 ") + windowClass).Raise();
    SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(owner_.Font()), FALSE);
}

}  // namespace ui
