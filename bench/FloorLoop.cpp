// The floor of a repair under this design: for each file a CopyFileA that replaces nothing and a hidden
// CreateProcessA of the system's regsvr32, waited for by nothing, and no more. With --progress, the same
// loop in front of a shown window whose progress bar, the size of the main window's, is set to each
// position first. 32-bit and built as the program is, with its manifest, so the bar is the same control.
//   FloorLoop.exe <list> [--progress]
// <list> holds one line per file, "source|destination", in the ANSI code page. Exits with the number of
// registrations the system would not start (0 when all were started); 255 for a bad command line.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<std::string, std::string>> ReadList(const char* path) {
    std::vector<std::pair<std::string, std::string>> files;
    std::FILE* list = std::fopen(path, "rb");
    if (!list) return files;
    char line[2048];
    while (std::fgets(line, sizeof line, list)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        const std::size_t bar = text.find('|');
        if (bar != std::string::npos) files.emplace_back(text.substr(0, bar), text.substr(bar + 1));
    }
    std::fclose(list);
    return files;
}

// As the program starts a registration: hidden, its handles closed at once.
bool StartHidden(const std::string& program, const std::string& commandLine) {
    std::string mutableCommandLine = commandLine;  // CreateProcessA may write into it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(program.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const bool progress = argc == 3 && std::strcmp(argv[2], "--progress") == 0;
    if (argc != 2 && !progress) {
        std::printf("usage: FloorLoop.exe <list> [--progress]\n");
        return 255;
    }
    const auto files = ReadList(argv[1]);
    if (files.empty()) return 255;
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string regsvr = std::string(system) + "\\regsvr32.exe";

    HWND window = nullptr, bar = nullptr;
    if (progress) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        // The main window's client area and ProgressBar1's place in it, as designed.
        window = CreateWindowExA(0, "STATIC", "floor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 720, 200,
                                 nullptr, nullptr, nullptr, nullptr);
        bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 48, 56, 609, 49, window, nullptr,
                              nullptr, nullptr);
        SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(files.size()) - 1);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    int notStarted = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (bar) SendMessageA(bar, PBM_SETPOS, i, 0);
        const auto& [source, destination] = files[i];
        CopyFileA(source.c_str(), destination.c_str(), TRUE);
        if (!StartHidden(regsvr, "regsvr32 \"" + destination + "\" -s")) ++notStarted;
    }
    if (window) DestroyWindow(window);
    return notStarted < 255 ? notStarted : 254;
}
