#include "ui/Memo.h"

namespace ui {

void TMemo::CreateHandle() {
    CreateChild("EDIT", WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                            ES_AUTOVSCROLL | ES_AUTOHSCROLL);
    // The user may not type into it; the report set in code may be longer than the typing limit.
    SendMessageA(Handle(), EM_LIMITTEXT, 0, 0);
}

}  // namespace ui
