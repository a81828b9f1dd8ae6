#include "ui/Timer.h"

#include "repair/Errors.h"
#include "ui/Form.h"

namespace ui {

TTimer::TTimer(TForm& owner, std::string name)
    : TComponent(std::move(name)), owner_(owner), id_(owner.NextTimerId()) {
    owner.AddComponent(this);
}

TTimer::~TTimer() {
    if (running_ && owner_.Handle() != nullptr) KillTimer(owner_.Handle(), id_);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Update();
}

void TTimer::SetInterval(unsigned milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    Update();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
    onTimer_ = std::move(handler);
    Update();
}

void TTimer::Update() {
    if (running_) {
        if (owner_.Handle() != nullptr) KillTimer(owner_.Handle(), id_);
        running_ = false;
    }
    if (enabled_ && interval_ != 0 && onTimer_) {
        // Without its form's window a timer cannot run (and SetTimer would make a thread timer instead).
        if (owner_.Handle() == nullptr || SetTimer(owner_.Handle(), id_, interval_, nullptr) == 0) {
            repair::Error("EOutOfResources", "可用的计时器不足").Raise();
        }
        running_ = true;
    }
}

void TTimer::Tick() {
    if (onTimer_) onTimer_(this);
}

void TTimer::SetProperty(const std::string& property, const DesignValue& value, const DesignReader& reader) {
    if (property == "Enabled") {
        SetEnabled(DesignReader::Boolean(value));
    } else if (property == "Interval") {
        const int interval = DesignReader::Integer(value);
        if (interval < 0) RaiseInvalidPropertyValue();
        SetInterval(static_cast<unsigned>(interval));
    } else if (property == "OnTimer") {
        SetOnTimer(reader.Handler(value));
    } else {
        TComponent::SetProperty(property, value, reader);
    }
}

}  // namespace ui
