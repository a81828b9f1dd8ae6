// Placeholder replacement and the derived action over arbitrary values and shared folders. The result
// is checked against a second, independent reading: the value cut into characters, where every "路径"
// that starts on a character boundary is the shared folder and everything else is kept.
//
// Input: [flags] system base NUL program directory NUL key NUL value...
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "repair/FileList.h"

FUZZ_INIT_CHECKS_LITERALS

namespace {

// Walks the value character by character, as a reader of the text would.
std::string Expected(std::string_view value, std::string_view systemBase, const text::LeadBytes& lead) {
    const std::string_view placeholder = repair::kSystemBasePlaceholder;
    std::string out;
    for (std::size_t i = 0; i < value.size();) {
        if (value.substr(i, placeholder.size()) == placeholder) {
            out.append(systemBase);
            i += placeholder.size();
        } else {
            const std::size_t next = text::NextChar(value, i, lead);
            out.append(value.substr(i, next - i));
            i = next;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.Byte();
    const text::LeadBytes& lead = fuzz::ChooseLead(flags & 1);
    const std::string systemBase(in.Part());
    const std::string programDirectory(in.Part());
    const std::string key(in.Part());
    const std::string value(in.Rest());

    const std::string replaced = repair::ReplacePlaceholder(value, systemBase, lead);
    fuzz::Check(replaced == Expected(value, systemBase, lead), "every placeholder on a boundary replaced");

    const std::string listFolder = (flags & 2) ? "w7" : "xp";
    const repair::RepairAction action =
        repair::DeriveRepairAction(programDirectory, listFolder, systemBase, key, value, lead);
    fuzz::Check(action.source == programDirectory + listFolder + "\\" + key, "source path");
    fuzz::Check(action.destination == replaced, "destination is the replaced value");
    fuzz::Check(action.command == "regsvr32 \"" + replaced + "\" -s", "command text");
    return 0;
}
