// The folder chain (ForceDirectories) against a machine whose every answer comes from the input: which
// paths are folders and which folders can be made. Whatever the answers, the chain must end, make only
// folders that are prefixes of the path, top-down, and fail only with the "cannot create directory" error.
// It must also ask the same questions, in the same order, as the chain's steps read literally (a
// recursion over the parent path), given the same answers.
//
// Input: [flags] path NUL answer bytes (one bit per question, in the order they are asked)...
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "repair/Errors.h"
#include "repair/RepairRun.h"

FUZZ_INIT_CHECKS_LITERALS

namespace {

class AnsweringPlatform : public repair::Platform {
public:
    AnsweringPlatform(const text::LeadBytes& lead, fuzz::Input& answers, std::string path)
        : lead_(lead), answers_(answers), path_(std::move(path)) {}

    std::vector<std::string> asked;  // "is folder P", "make P", in order
    std::vector<std::string> made;
    bool refused = false;  // the last folder made was refused
    std::size_t questions = 0;

    const text::LeadBytes& Lead() const override { return lead_; }
    bool IsDirectory(const std::string& path) override {
        Asked(path);
        asked.push_back("is folder " + path);
        return answers_.Bit();
    }
    bool MakeDirectory(const std::string& path) override {
        Asked(path);
        fuzz::Check(made.empty() || path.size() > made.back().size(), "folders are made top-down");
        fuzz::Check(!refused, "nothing is made below a folder that could not be made");
        made.push_back(path);
        asked.push_back("make " + path);
        refused = !answers_.Bit();
        return !refused;
    }

    // The chain asks nothing else of the machine.
    std::string EnvironmentValue(const std::string&) override { return Unexpected(); }
    std::string ModulePath() override { return Unexpected(); }
    std::string ProfileKeyNames(const std::string&, const std::string&, std::size_t) override {
        return Unexpected();
    }
    std::string ProfileValue(const std::string&, const std::string&, const std::string&,
                             std::size_t) override {
        return Unexpected();
    }
    repair::CopyResult CopyFileNoReplace(const std::string&, const std::string&) override {
        Unexpected();
        return repair::CopyResult::Failed;
    }
    std::string SystemDirectory() override { return Unexpected(); }
    bool StartHidden(const std::string&, const std::string&) override {
        Unexpected();
        return false;
    }

private:
    void Asked(const std::string& path) {
        fuzz::Check(!path.empty() && path_.compare(0, path.size(), path) == 0, "asks only about prefixes");
        // Each step drops at least one byte, and each folder is asked about and made at most once.
        fuzz::Check(++questions <= 2 * path_.size() + 2, "the chain ends");
    }
    static std::string Unexpected() {
        fuzz::Check(false, "the folder chain touches only folders");
        return {};
    }

    const text::LeadBytes& lead_;
    fuzz::Input& answers_;
    std::string path_;
};

// The chain's steps as written: drop one trailing "\"; a path under 3 bytes or an existing folder is
// done; otherwise make the parent (cut after the last "\" or ":") first, then the path itself.
bool StepsAsWritten(repair::Platform& platform, std::string path) {
    const text::LeadBytes& lead = platform.Lead();
    if (path.empty()) repair::CannotCreateDirectoryError().Raise();
    if (path.back() == '\\' && text::LastCharStart(path, lead) == path.size() - 1) {
        path.pop_back();
    }
    if (path.size() < 3 || platform.IsDirectory(path)) return true;
    const std::string parent = text::DirectoryPart(path, lead);
    if (parent == path) return true;
    return StepsAsWritten(platform, parent) && platform.MakeDirectory(path);
}

// Runs `chain` on `path`; whether it succeeded, or nullopt when it raised the error.
template <typename Chain>
std::optional<bool> Outcome(Chain chain, AnsweringPlatform& platform, const std::string& path) {
    try {
        return chain(platform, path);
    } catch (const repair::Error& error) {
        const repair::Error expected = repair::CannotCreateDirectoryError();
        fuzz::Check(error.ClassName() == expected.ClassName() && error.Message() == expected.Message() &&
                        error.Code() == 3,
                    "the only error is \"cannot create directory\"");
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const text::LeadBytes& lead = fuzz::ChooseLead(in.Byte() & 1);
    const std::string path(in.Part());
    fuzz::Input sameAnswers = in;
    AnsweringPlatform platform(lead, in, path);
    AnsweringPlatform reference(lead, sameAnswers, path);

    const std::optional<bool> ok = Outcome(repair::ForceDirectories, platform, path);
    if (!ok) {
        fuzz::Check(platform.made.empty(), "nothing is made before the chain runs out");
    } else {
        // Success is that of the last folder made (the first refusal stops the chain), or true if none was.
        fuzz::Check(*ok == !platform.refused, "the chain reports whether its folders were made");
    }
    fuzz::Check(Outcome(StepsAsWritten, reference, path) == ok, "same outcome as the steps as written");
    fuzz::Check(platform.asked == reference.asked, "same questions as the steps as written");
    return 0;
}
