// The operations of the repair's platform that change the system, apart from the reading ones, so that a
// program that must change nothing (the check) links none of them.
#include <windows.h>

#include <vector>

#include "repair/Win32Platform.h"

namespace repair {

bool Win32Platform::MakeDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

CopyResult Win32Platform::CopyFileNoReplace(const std::string& source, const std::string& destination) {
    if (CopyFileA(source.c_str(), destination.c_str(), TRUE)) return CopyResult::Copied;
    const DWORD error = GetLastError();
    return (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) ? CopyResult::DestinationExists
                                                                         : CopyResult::Failed;
}

bool Win32Platform::StartHidden(const std::string& program, const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    std::vector<char> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back('\0');
    // Its own folder, not ours: a program started from Explorer has its own folder as its current one, and
    // a library a started program looks for in its current folder must not be one planted beside us.
    const std::string folder = text::DirectoryPart(program, lead_);
    if (CreateProcessA(program.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        // Nothing waits for the registration; it runs on by itself.
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
    return false;
}

}  // namespace repair
