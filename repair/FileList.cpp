#include "repair/FileList.h"

namespace repair {

std::string ProgramDirectory(std::string_view modulePath, const text::LeadBytes& lead) {
    return text::DirectoryPart(modulePath, lead);
}

std::string ChooseListFolder(std::string_view shownTag) {
    return text::TrimBlanks(shownTag) == "W7" ? "w7" : "xp";
}

std::string SystemBaseFrom(std::string_view commonProgramFiles) {
    return std::string(commonProgramFiles) + "\\System";
}

std::string FileListPath(std::string_view programDirectory, std::string_view listFolder) {
    return std::string(programDirectory) + std::string(listFolder) + kFileListName;
}

std::vector<std::string> SplitKeyNames(std::string_view buffer) {
    std::vector<std::string> names;
    while (!buffer.empty()) {
        const std::size_t end = buffer.find('\0');
        const std::string_view name = buffer.substr(0, end);
        if (name.empty()) break;
        names.emplace_back(name);
        if (end == std::string_view::npos) break;
        buffer.remove_prefix(end + 1);
    }
    return names;
}

std::string ReplacePlaceholder(std::string_view value, std::string_view systemBase,
                               const text::LeadBytes& lead) {
    const std::string_view placeholder = kSystemBasePlaceholder;
    std::string result;
    std::size_t from = 0;
    for (;;) {
        const std::size_t match = text::Find(value, placeholder, from, lead);
        if (match == std::string_view::npos) break;
        result.append(value.substr(from, match - from));
        result.append(systemBase);
        from = match + placeholder.size();
    }
    result.append(value.substr(from));
    return result;
}

RepairAction DeriveRepairAction(std::string_view programDirectory, std::string_view listFolder,
                                std::string_view systemBase, std::string_view key, std::string_view value,
                                const text::LeadBytes& lead) {
    RepairAction action;
    action.source = std::string(programDirectory) + std::string(listFolder) + "\\" + std::string(key);
    action.destination = ReplacePlaceholder(value, systemBase, lead);
    action.command = "regsvr32 \"" + action.destination + "\" -s";
    return action;
}

std::vector<std::string> ReadFileListKeys(Platform& platform, const std::string& listPath) {
    return SplitKeyNames(platform.ProfileKeyNames(listPath, kFileListSection, kKeyNamesBufferSize));
}

std::string ReadFileListValue(Platform& platform, const std::string& listPath, const std::string& key) {
    return platform.ProfileValue(listPath, kFileListSection, key, kValueBufferSize);
}

}  // namespace repair
