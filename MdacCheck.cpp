// The check's entry: refuse to run beside files that redirect the loader, close the library search path,
// then either be the child that loads and creates components (the internal switch), or check the list
// the repair beside it would use and show the report in a window, or with "/report FILE" write it to
// FILE without a window. Exit code 0 when every entry is ok, 1 when any is not, 2 when it could not check.
#include <windows.h>

#include <exception>
#include <string>

#include "check/CheckForm.h"
#include "check/Facts.h"
#include "check/Probe.h"
#include "check/Report.h"
#include "check/ReportTexts.h"
#include "repair/FileList.h"
#include "repair/Win32Platform.h"
#include "ui/Application.h"
#include "ui/SafeStart.h"

namespace {

constexpr char kReportSwitch[] = "/report";

struct Arguments {
    bool probe = false;
    bool report = false;
    std::string reportFile;
};

// The words of a command line as the C runtime parts them for the simple cases a script writes: blanks
// part words, quotes keep blanks in one.
std::vector<std::string> Words(const char* commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (const char* c = commandLine; *c != '\0'; ++c) {
        if (*c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((*c == ' ' || *c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += *c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

Arguments ReadArguments() {
    Arguments arguments;
    const std::vector<std::string> words = Words(GetCommandLineA());
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (lstrcmpiA(words[i].c_str(), check::kProbeSwitch) == 0) {
            arguments.probe = true;
        } else if (lstrcmpiA(words[i].c_str(), kReportSwitch) == 0 && i + 1 < words.size()) {
            arguments.report = true;
            arguments.reportFile = words[++i];
        }
    }
    return arguments;
}

bool WriteReport(const std::string& file, const std::string& report) {
    const HANDLE handle =
        CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole =
        WriteFile(handle, report.data(), static_cast<DWORD>(report.size()), &written, nullptr) &&
        written == report.size();
    return CloseHandle(handle) && whole;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    const Arguments arguments = ReadArguments();
    // Before anything is loaded by name or any window is shown. A script is told in the report it asked for.
    if (ui::RefusedForRedirection(!arguments.report && !arguments.probe)) {
        if (arguments.report) {
            WriteReport(arguments.reportFile,
                        std::string(check::texts::kCouldNotCheck) + check::texts::kRefused + "\r\n");
        }
        return 2;
    }
    ui::CloseLibrarySearchPath();
    if (arguments.probe) return check::RunProbeChild();

    repair::Win32ReadingPlatform platform;
    const std::string program = platform.ModulePath();
    const std::string programDirectory = repair::ProgramDirectory(program, platform.Lead());
    const check::SystemFacts system = check::GatherSystemFacts(platform, programDirectory);
    check::ListEntries list;
    if (program.empty() || program.size() > repair::kLongestAnsiPath) {
        list.couldNotCheck = check::texts::kPathTooLong;
    } else {
        list = check::ReadListEntries(platform, programDirectory, system.tag);
    }
    if (list.couldNotCheck.empty()) {
        check::GatherFileAndRegistrationFacts(list.entries, list.sources);
        check::ProbeEntries(list.entries, program);
    }
    const std::string report = check::ReportText(system, list.entries, list.couldNotCheck);
    const int code = check::ExitCode(list.entries, list.couldNotCheck);
    if (arguments.report) return WriteReport(arguments.reportFile, report) ? code : 2;

    auto& app = ui::Application::Instance();
    try {
        app.Initialize(hInstance, ui::ReadShowCommand());
        app.SetMainForm(new TCheckForm(report));
    } catch (const std::exception& e) {
        ui::ShowStartupFailure(e);
        return 2;
    }
    app.Run();
    return code;
}
