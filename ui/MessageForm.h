// The message dialog (window class "TMessageForm"): the title as caption, the text in the system's message
// font with word wrap, one "确定" button that is default and cancel; modal. Ctrl+C copies its text.
#pragma once

#include <windows.h>

#include <string>

#include "repair/Text.h"

namespace ui {

inline constexpr char kMessageFormClass[] = "TMessageForm";
inline constexpr char kOkCaption[] = "确定";
inline constexpr char kCannotOpenClipboard[] = "无法打开剪贴板";

// Shows the dialog owned by `owner` and returns when the user dismissed it (Enter, Esc, the button or
// the close box). `lead`: the lead bytes of the code page the text is in.
void ShowMessageForm(HINSTANCE instance, HWND owner, const std::string& caption, const std::string& text,
                     const text::LeadBytes& lead);

}  // namespace ui
