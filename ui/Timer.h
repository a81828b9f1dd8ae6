// A timer of a form: ticks at its interval through the window system's timer messages to the form's
// window (SetTimer, KillTimer): https://learn.microsoft.com/windows/win32/winmsg/timers
// It runs while it is enabled, has a non-zero interval and a tick handler; it starts the moment the last
// of these is given, so a timer of a design counts from the loading of the design.
#pragma once

#include <windows.h>

#include "ui/Component.h"

namespace ui {

class TForm;

class TTimer : public TComponent {
public:
    TTimer(TForm& owner, std::string name);
    ~TTimer() override;
    const char* ClassName() const override { return "TTimer"; }

    // Disabling removes the system's timer; disabling a disabled timer does nothing. Enabling a timer the
    // system refuses raises "可用的计时器不足".
    void SetEnabled(bool enabled);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned milliseconds);
    void SetOnTimer(TNotifyEvent handler);
    // Whether the system's timer is set.
    bool Running() const { return running_; }

    UINT_PTR Id() const { return id_; }
    // The tick: runs OnTimer. The form calls it for WM_TIMER with the timer's id.
    void Tick();

    // Enabled, Interval, OnTimer.
    void SetProperty(const std::string& property, const DesignValue& value,
                     const DesignReader& reader) override;

private:
    void Update();

    TForm& owner_;
    UINT_PTR id_;
    bool enabled_ = true;
    unsigned interval_ = 1000;
    TNotifyEvent onTimer_;
    bool running_ = false;
};

}  // namespace ui
