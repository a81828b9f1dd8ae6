// The main window Form1: the Windows version tag, a progress bar and one button that counts down and
// presses itself three seconds after the window was made, which starts the repair run. It is the run's
// host: timers, progress, the completion message and the closing.
#pragma once

#include <string>

#include "repair/RepairRun.h"
#include "repair/Win32Platform.h"
#include "ui/Button.h"
#include "ui/Form.h"
#include "ui/Label.h"
#include "ui/ProgressBar.h"
#include "ui/Timer.h"

class TForm1 : public ui::TForm, public repair::RunHost {
public:
    // Loads the design (resources/Unit1.rc): creates the window, the controls and both timers, which
    // start counting now, then runs FormCreate. Throws when the design cannot be applied.
    TForm1();

    ui::TButton Button1;
    ui::TProgressBar ProgressBar1;
    ui::TLabel Label1;
    ui::TTimer Timer1;
    ui::TTimer Timer2;

    void Button1Click(ui::TComponent* sender);
    void FormShow(ui::TComponent* sender);
    void Timer2Timer(ui::TComponent* sender);
    void FormCreate(ui::TComponent* sender);
    void Timer1Timer(ui::TComponent* sender);

    // The repair run's host.
    void StopTimer1() override { Timer1.SetEnabled(false); }
    void StopTimer2() override { Timer2.SetEnabled(false); }
    std::string ShownTag() override;
    void SetProgressMax(int maximum) override { ProgressBar1.SetMax(maximum); }
    void SetProgressPosition(int position) override { ProgressBar1.SetPosition(position); }
    void ShowMessage(const std::string& message) override;
    void Close() override { TForm::Close(); }

private:
    repair::Win32Platform platform_;
};

extern TForm1* Form1;

// Counts down on Button1: 0 at start, 4 after FormCreate, one less on every Timer2 tick.
extern int CountDown;

// The caption Button1 shows while counting down: "开始修复(" + the count as a decimal integer (a minus sign
// when negative) + ")".
std::string CountdownCaption(int count);
