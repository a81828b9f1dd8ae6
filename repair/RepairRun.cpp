#include "repair/RepairRun.h"

#include <algorithm>

#include "repair/Errors.h"
#include "repair/FileList.h"

namespace repair {
namespace {

constexpr const char* kSharedFolders[] = {"\\ado", "\\msadc", "\\ole db"};

// The registration utility is started from the system directory by its full path, never looked up
// through the search path: that path begins with the program's own folder and the current folder, and
// a stray regsvr32.exe there would otherwise run with the administrator rights this program holds.
std::string RegistrationUtility(Platform& platform) {
    const std::string systemDirectory = platform.SystemDirectory();
    if (systemDirectory.empty()) return {};
    const bool separated = text::EndsWithBackslash(systemDirectory, platform.Lead());
    return systemDirectory + (separated ? "" : "\\") + "regsvr32.exe";
}

// A heading line, the first kNamedFailures keys one a line, and a line counting the others.
void AppendNamedKeys(std::string& message, const char* heading, const std::vector<std::string>& keys,
                     const char* rest) {
    if (keys.empty()) return;
    message += "\r\n";
    message += heading;
    const std::size_t named = std::min(keys.size(), kNamedFailures);
    for (std::size_t i = 0; i < named; ++i) message += "\r\n" + keys[i];
    if (named < keys.size()) message += "\r\n……另有 " + std::to_string(keys.size() - named) + " " + rest;
}

}  // namespace

bool ForceDirectories(Platform& platform, std::string path) {
    const text::LeadBytes& lead = platform.Lead();
    // Walk up to the first folder that exists (or the root), then make the rest top-down.
    std::vector<std::string> missing;
    for (;;) {
        if (path.empty()) CannotCreateDirectoryError().Raise();
        if (text::EndsWithBackslash(path, lead)) path.pop_back();
        if (path.size() < 3 || platform.IsDirectory(path)) break;
        std::string parent = text::DirectoryPart(path, lead);
        if (parent == path) break;
        missing.push_back(std::move(path));
        path = std::move(parent);
    }
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        if (!platform.MakeDirectory(*folder)) return false;
    }
    return true;
}

std::string CompletionMessage(const std::vector<std::string>& uncopiedKeys,
                              const std::vector<std::string>& notStartedKeys) {
    std::string message = kRepairDoneMessage;
    AppendNamedKeys(message, kCopyFailuresHeading, uncopiedKeys, kCopyFailuresRest);
    AppendNamedKeys(message, kStartFailuresHeading, notStartedKeys, kStartFailuresRest);
    return message;
}

void RunRepair(RunHost& host, Platform& platform) {
    host.StopTimer1();
    host.StopTimer2();

    const std::string listFolder = ChooseListFolder(host.ShownTag());
    const std::string modulePath = platform.ModulePath();
    const std::string programDirectory = ProgramDirectory(modulePath, platform.Lead());
    const std::string listPath = FileListPath(programDirectory, listFolder);
    // A path the file functions cannot take whole would be cut, or read relative to the current folder
    // when missing, and the run would then copy and register what another folder's list names.
    if (modulePath.empty() || modulePath.size() > kLongestAnsiPath || listPath.size() > kLongestAnsiPath) {
        ProgramPathTooLongError().Raise();
    }

    const std::string systemBase = SystemBaseFrom(platform.EnvironmentValue(kSharedFolderVariable));
    for (const char* folder : kSharedFolders) {
        // A folder that cannot be made is not an error of its own: copies into it fail later.
        ForceDirectories(platform, systemBase + folder);
    }
    const std::vector<std::string> keys = ReadFileListKeys(platform, listPath);

    host.SetProgressMax(static_cast<int>(keys.size()) - 1);  // an empty list is refused here
    const std::string utility = RegistrationUtility(platform);
    std::vector<std::string> uncopiedKeys, notStartedKeys;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        host.SetProgressPosition(static_cast<int>(i));
        const RepairAction action =
            DeriveRepairAction(programDirectory, listFolder, systemBase, keys[i],
                               ReadFileListValue(platform, listPath, keys[i]), platform.Lead());
        if (platform.CopyFileNoReplace(action.source, action.destination) == CopyResult::Failed) {
            uncopiedKeys.push_back(keys[i]);
        }
        // Registered even when the copy failed: an older file already in place is registered where it is.
        // Without a system folder there is no utility to start, and the file stays unregistered as well.
        if (utility.empty() || !platform.StartHidden(utility, action.command))
            notStartedKeys.push_back(keys[i]);
    }

    host.ShowMessage(CompletionMessage(uncopiedKeys, notStartedKeys));
    host.Close();
}

}  // namespace repair
