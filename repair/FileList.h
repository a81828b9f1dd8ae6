// The file list: an INI file in a version folder beside the program that names each component file
// and its destination. Each of its lines becomes one RepairAction.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "repair/Platform.h"
#include "repair/Text.h"

namespace repair {

inline constexpr char kFileListSection[] = "文件列表";
inline constexpr char kFileListName[] = "\\文件列表.ini";
// Stands for the shared system folder in a destination.
inline constexpr char kSystemBasePlaceholder[] = "路径";
inline constexpr char kSharedFolderVariable[] = "COMMONPROGRAMFILES";

// The longest path the system's ANSI file functions take: MAX_PATH less the terminator.
inline constexpr std::size_t kLongestAnsiPath = 259;
inline constexpr std::size_t kKeyNamesBufferSize = 0x4000;
inline constexpr std::size_t kValueBufferSize = 2048;

struct RepairAction {
    std::string source;
    std::string destination;
    std::string command;  // regsvr32 "destination" -s
};

// The program's folder: the module path cut after its last "\" or ":".
std::string ProgramDirectory(std::string_view modulePath, const text::LeadBytes& lead);

// "w7" when the shown tag, without surrounding blanks, is exactly "W7"; "xp" otherwise.
std::string ChooseListFolder(std::string_view shownTag);

// The shared folder's "System" folder: the variable's value followed directly by "\System".
std::string SystemBaseFrom(std::string_view commonProgramFiles);

std::string FileListPath(std::string_view programDirectory, std::string_view listFolder);

// Names from a key-name buffer (each name followed by a NUL), in order, up to the first empty one.
std::vector<std::string> SplitKeyNames(std::string_view buffer);

// The value with every "路径" replaced by `systemBase`; inserted text is never searched again.
std::string ReplacePlaceholder(std::string_view value, std::string_view systemBase,
                               const text::LeadBytes& lead);

RepairAction DeriveRepairAction(std::string_view programDirectory, std::string_view listFolder,
                                std::string_view systemBase, std::string_view key, std::string_view value,
                                const text::LeadBytes& lead);

// Reading the list through the platform's profile functions.
std::vector<std::string> ReadFileListKeys(Platform& platform, const std::string& listPath);
std::string ReadFileListValue(Platform& platform, const std::string& listPath, const std::string& key);

}  // namespace repair
