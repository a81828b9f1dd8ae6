#include "check/CheckForm.h"

#include "check/ReportTexts.h"
#include "ui/Application.h"

TCheckForm::TCheckForm(const std::string& report)
    : TForm("TCheckForm"), Memo1(*this, "Memo1"), Button1(*this, "Button1"), report_(report) {
    BindHandler("Button1Click", &TCheckForm::Button1Click);
    LoadDesign("TCHECKFORM");
    Memo1.SetCaption(report_);
}

void TCheckForm::Button1Click(ui::TComponent*) {
    if (!OpenClipboard(Handle())) return;
    EmptyClipboard();
    // The clipboard owns the memory once it takes it; until then it is ours to free.
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, report_.size() + 1);
    void* const bytes = memory == nullptr ? nullptr : GlobalLock(memory);
    if (bytes != nullptr) {
        CopyMemory(bytes, report_.c_str(), report_.size() + 1);
        GlobalUnlock(memory);
    }
    if (memory != nullptr && (bytes == nullptr || SetClipboardData(CF_TEXT, memory) == nullptr)) {
        // cppcheck-suppress doubleFree ; SetClipboardData takes the memory only when it succeeds
        GlobalFree(memory);
    }
    CloseClipboard();
    ui::Application::Instance().ShowMessage(check::texts::kCopied);
}
