// The program's entry: read the Windows version and the show command, set up the application, create
// the main window, show it and run until it closes.
#include <windows.h>

#include <exception>

#include "Unit1.h"
#include "repair/VersionTag.h"
#include "repair/Win32Platform.h"
#include "ui/Application.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
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
