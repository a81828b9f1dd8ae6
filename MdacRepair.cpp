// The program's entry: refuse to run beside files that redirect the loader, close the library search path,
// read the Windows version and the show command, set up the application, create the main window, show it
// and run until it closes.
#include <windows.h>

#include <exception>

#include "Unit1.h"
#include "repair/VersionTag.h"
#include "ui/Application.h"
#include "ui/SafeStart.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    // Before anything is loaded by name or any window is shown: nothing is copied, registered or loaded
    // while such a file lies beside the program.
    if (ui::RefusedForRedirection()) return 1;
    ui::CloseLibrarySearchPath();
    // Read once, before any window exists; nothing refreshes them later.
    repair::StoreWindowsVersion(repair::QueryWindowsVersion());
    const int show = ui::ReadShowCommand();

    auto& app = ui::Application::Instance();
    try {
        app.Initialize(hInstance, show);
        Form1 = new TForm1();
    } catch (const std::exception& e) {
        ui::ShowStartupFailure(e);
        return 1;
    }
    app.SetMainForm(Form1);
    return app.Run();
}
