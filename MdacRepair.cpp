// The program's entry: close the library search path, read the Windows version and the show command, set
// up the application, create the main window, show it and run until it closes.
#include <windows.h>

#include <exception>
#include <string>

#include "Unit1.h"
#include "repair/VersionTag.h"
#include "repair/Win32Platform.h"
#include "ui/Application.h"

namespace {

// The program runs with administrator rights from whatever folder it was unpacked into, often one that
// other programs of the user can write to. A library found there by name would run with those rights,
// so before anything loads a library the search is kept to the system folder: the current folder is
// taken out of it, and where the system can, the program's own folder too (Vista is left out: there,
// restricting the default folders breaks the shell's own loading). The functions are newer than some
// systems the program runs on and are looked up by name.
//
// Systems without that restriction still search the program's folder first for a library that system
// code loads by name, late and without a path. Loading each one by its full path beforehand makes every
// later load by name take the copy already there; a library a system does not have is skipped. The
// list holds what system code loads this way on the versions the program runs on, and what the window
// system loads while the program runs.
void CloseLibrarySearchPath(const repair::WindowsVersion& version) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);
    using FlagsFunction = BOOL(WINAPI*)(DWORD);
    if (const auto setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")))) {
        setDllDirectory("");
    }
    const bool vista =
        version.platformId == VER_PLATFORM_WIN32_NT && version.major == 6 && version.minor == 0;
    if (const auto setDefaultDirectories = reinterpret_cast<FlagsFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        setDefaultDirectories != nullptr && !vista) {
        setDefaultDirectories(0x00000800);  // LOAD_LIBRARY_SEARCH_SYSTEM32
    }
    // The program starts others by full path only; this keeps the current folder behind the system's
    // folders for any search system code makes for a program.
    if (const auto setSearchPathMode = reinterpret_cast<FlagsFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetSearchPathMode")))) {
        setSearchPathMode(0x00000001 | 0x00008000);  // safe search mode, for the process's whole life
    }

    char buffer[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::string system(buffer, length);
    const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const auto loadFromSystem = [&system](const char* library) {
        // Searched from the system folder onwards, so that what the library imports comes from there too.
        // Never freed: it is to stay loaded for the program's whole life.
        // cppcheck-suppress leakReturnValNotUsed ; kept loaded on purpose
        LoadLibraryExA((system + "\\" + library).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    };
    // Dependencies first, so that each library finds what it imports already loaded.
    for (const char* library :
         {"version.dll", "profapi.dll", "cryptbase.dll", "dwmapi.dll", "propsys.dll", "apphelp.dll",
          "userenv.dll", "setupapi.dll", "ntmarta.dll", "comres.dll", "clbcatq.dll", "oleacc.dll",
          "msimg32.dll", "ole32.dll", "uxtheme.dll", "imm32.dll"}) {
        loadFromSystem(library);
    }
    // Where the system has activation contexts, the manifest turns the common controls' name into
    // version 6 from the system's store; Windows 2000 has none and would look in the program's folder.
    if (GetProcAddress(kernel, "CreateActCtxA") == nullptr) loadFromSystem("comctl32.dll");
    SetErrorMode(errorMode);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    // Read once, before any window exists; nothing refreshes them later.
    const repair::WindowsVersion version = repair::QueryWindowsVersion();
    CloseLibrarySearchPath(version);
    repair::StoreWindowsVersion(version);
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
