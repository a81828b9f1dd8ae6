// A stand-in for a started program: waits COMMAND_LOGGER_DELAY_MS milliseconds (0 when unset), then appends
// its command line to "<its own path>.log". Built as a 64-bit program so that it starts at once under Wine.
#include <windows.h>

#include <cstdlib>

int main() {
    char delay[32] = {};
    if (GetEnvironmentVariableA("COMMAND_LOGGER_DELAY_MS", delay, sizeof delay)) Sleep(std::atoi(delay));
    char path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    lstrcpyA(path + length, ".log");
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    const char* commandLine = GetCommandLineA();
    DWORD written = 0;
    WriteFile(log, commandLine, lstrlenA(commandLine), &written, nullptr);
    WriteFile(log, "\r\n", 2, &written, nullptr);
    CloseHandle(log);
    return 0;
}
