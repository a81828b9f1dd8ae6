// The repair run: make the shared data-access folders, copy every listed component without replacing
// existing files, start a hidden registration of each, move the progress bar, announce and close.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "repair/Platform.h"

namespace repair {

// What the run needs of the window that hosts it.
class RunHost {
public:
    virtual ~RunHost() = default;
    virtual void StopTimer1() = 0;
    virtual void StopTimer2() = 0;
    // The version tag the run chooses its file list by.
    virtual std::string ShownTag() = 0;
    // Sets the progress maximum (minimum stays 0); throws when it is below the minimum.
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Modal message with one confirm button; returns when dismissed.
    virtual void ShowMessage(const std::string& message) = 0;
    // Closes the main window, which ends the program.
    virtual void Close() = 0;
};

inline constexpr char kRepairDoneMessage[] = "修复完毕";
inline constexpr char kCopyFailuresHeading[] = "以下文件未能复制：";
inline constexpr char kCopyFailuresRest[] = "个文件未能复制";
// Files whose registration could not be started (the system refused to start the utility, or there was
// no system folder to find it in): they stay unregistered.
inline constexpr char kStartFailuresHeading[] = "以下文件的注册程序未能启动：";
inline constexpr char kStartFailuresRest[] = "个文件的注册程序未能启动";
// The message names this many files of each list at most, so that its dialog stays on a small screen; a
// last line counts the rest.
inline constexpr std::size_t kNamedFailures = 20;

// Makes `path` and every missing folder above it. Returns false when a folder could not be made.
// Throws the "cannot create directory" error when the chain of parents runs out into an empty path.
bool ForceDirectories(Platform& platform, std::string path);

// The completion message: "修复完毕", followed by the keys of the files that could not be copied, one a
// line, the first kNamedFailures of them and then "……另有 N 个文件未能复制" for the N others; then
// in the same way the keys of the files whose registration could not be started.
std::string CompletionMessage(const std::vector<std::string>& uncopiedKeys,
                              const std::vector<std::string>& notStartedKeys);

// The whole run. Throws the errors that end it early; the caller shows them.
void RunRepair(RunHost& host, Platform& platform);

}  // namespace repair
