// The start-up guard of a program that may run with administrator rights from a folder other programs of
// the user can write to. Both programs call it first in WinMain, before anything loads a library by name
// or shows a window.
#pragma once

namespace ui {

// True when a file that redirects the system's loader ("<program>.local", "<program>.manifest") lies
// beside the program, or when that cannot be told (the program's own path or the folder cannot be read):
// the refusal has been said where that is safe (unless `tellUser` is false: a program run by a script says
// it its own way), and the program is to end at once, having loaded nothing.
bool RefusedForRedirection(bool tellUser = true);

// Keeps the library search to the system folder and loads by full path the libraries system code later
// loads by name.
void CloseLibrarySearchPath();

}  // namespace ui
