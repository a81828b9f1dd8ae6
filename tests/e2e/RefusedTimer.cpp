// Linked into a test build of the whole program (MdacRepair.cpp, Unit1.cpp, the same libraries and
// resources) in place of the system's SetTimer: every timer is refused, as by a system that has none to
// give. The program reaches SetTimer through its import slot __imp__SetTimer@16; this file defines that
// slot itself, so the linker takes it instead of user32's, and nothing else of the program changes.
#include <windows.h>

namespace {

UINT_PTR WINAPI RefuseTimer(HWND, UINT_PTR, UINT, TIMERPROC) {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return 0;
}

}  // namespace

using SetTimerFunction = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC);
extern "C" SetTimerFunction refusedSetTimerSlot __asm__("__imp__SetTimer@16");
SetTimerFunction refusedSetTimerSlot = RefuseTimer;
