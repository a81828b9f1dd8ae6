#include "Unit1.h"

#include "repair/VersionTag.h"
#include "ui/Application.h"

TForm1* Form1 = nullptr;
int CountDown = 0;

TForm1::TForm1()
    : TForm("TForm1"),
      Button1(*this, "Button1"),
      ProgressBar1(*this, "ProgressBar1"),
      Label1(*this, "Label1"),
      Timer1(*this, "Timer1"),
      Timer2(*this, "Timer2") {
    BindHandler("Button1Click", &TForm1::Button1Click);
    BindHandler("FormShow", &TForm1::FormShow);
    BindHandler("Timer2Timer", &TForm1::Timer2Timer);
    BindHandler("FormCreate", &TForm1::FormCreate);
    BindHandler("Timer1Timer", &TForm1::Timer1Timer);
    LoadDesign("TFORM1");
}

void TForm1::Button1Click(ui::TComponent*) {
    repair::RunRepair(*this, platform_);
}

void TForm1::FormShow(ui::TComponent*) {
    Label1.SetCaption(repair::GetWindowsVersionTag());
}

std::string CountdownCaption(int count) {
    return "开始修复(" + std::to_string(count) + ")";
}

void TForm1::Timer2Timer(ui::TComponent*) {
    CountDown = CountDown - 1;
    Button1.SetCaption(CountdownCaption(CountDown));
}

void TForm1::FormCreate(ui::TComponent*) {
    CountDown = 4;
}

void TForm1::Timer1Timer(ui::TComponent*) {
    Button1.Click();
}

// The version tag itself, not Label1's caption: Label1 shows the tag only once the window has been shown,
// and a program started minimised may run before that, which would take the XP file list on any system.
std::string TForm1::ShownTag() {
    return repair::GetWindowsVersionTag();
}

void TForm1::ShowMessage(const std::string& message) {
    ui::Application::Instance().ShowMessage(message);
}
