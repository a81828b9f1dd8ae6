#include "tests/unit/FakePlatform.h"

#include "repair/Errors.h"
#include "tests/unit/Profile.h"

namespace fakes {

std::string FakePlatform::EnvironmentValue(const std::string& name) {
    const auto it = environment.find(name);
    return it == environment.end() ? std::string() : it->second;
}

bool FakePlatform::IsDirectory(const std::string& path) {
    journal_.push_back("IsDirectory " + path);
    return directories.count(path) != 0;
}

bool FakePlatform::ParentExists(const std::string& path) const {
    const std::size_t cut = text::LastDelimiter(path, "\\", lead_);
    if (cut == std::string::npos) return true;  // relative to the current folder
    const std::string parent = path.substr(0, cut);
    // A drive ("C:") or the current drive's root ("") always exists.
    return parent.size() <= 2 || directories.count(parent) != 0;
}

bool FakePlatform::MakeDirectory(const std::string& path) {
    journal_.push_back("MakeDirectory " + path);
    if (directories.count(path) || unmakableDirectories.count(path) || !ParentExists(path)) return false;
    directories.insert(path);
    return true;
}

std::string FakePlatform::ProfileKeyNames(const std::string& file, const std::string& section,
                                          std::size_t bufferSize) {
    journal_.push_back("ReadKeys " + file);
    const auto it = files.find(file);
    return it == files.end() ? std::string() : profile::KeyNames(it->second, section, bufferSize, lead_);
}

std::string FakePlatform::ProfileValue(const std::string& file, const std::string& section,
                                       const std::string& key, std::size_t bufferSize) {
    journal_.push_back("ReadValue " + key);
    const auto it = files.find(file);
    return it == files.end() ? std::string()
                             : profile::Value(it->second, section, key, "", bufferSize, lead_);
}

repair::CopyResult FakePlatform::CopyFileNoReplace(const std::string& source,
                                                   const std::string& destination) {
    journal_.push_back("Copy " + source + " -> " + destination);
    if (files.count(destination)) return repair::CopyResult::DestinationExists;
    if (deniedDestinations.count(destination)) return repair::CopyResult::Failed;
    const auto it = files.find(source);
    if (it == files.end() || !ParentExists(destination) || destination.empty())
        return repair::CopyResult::Failed;
    files[destination] = it->second;
    return repair::CopyResult::Copied;
}

std::string FakePlatform::SystemDirectory() {
    return systemDirectory;
}

bool FakePlatform::StartHidden(const std::string& program, const std::string& commandLine) {
    const bool refused = startsRefused || refusedCommandLines.count(commandLine) != 0;
    journal_.push_back((refused ? "Start refused " : "Start ") + program + " | " + commandLine);
    return !refused;
}

void FakeHost::SetProgressMax(int maximum) {
    // As the main window's progress bar refuses a maximum below its minimum.
    if (maximum < progressMin) repair::Error("EPropertyError", "TProgressBar 属性超界").Raise();
    progressMax = maximum;
    journal_.push_back("SetProgressMax " + std::to_string(maximum));
}

void FakeHost::SetProgressPosition(int position) {
    progressPosition = position;
    journal_.push_back("SetProgressPosition " + std::to_string(position));
}

}  // namespace fakes
