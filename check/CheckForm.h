// The check's window: the report as read-only text the user can select, and a button that copies it whole.
#pragma once

#include <string>

#include "ui/Button.h"
#include "ui/Form.h"
#include "ui/Memo.h"

class TCheckForm : public ui::TForm {
public:
    // Loads the design (resources/CheckForm.rc) and shows `report` in it.
    explicit TCheckForm(const std::string& report);

    ui::TMemo Memo1;
    ui::TButton Button1;

    void Button1Click(ui::TComponent* sender);

private:
    std::string report_;
};
