#include "check/PeFile.h"

#include <cstdint>
#include <cstring>

namespace check {
namespace {

// Reads little-endian numbers at file offsets; every read is bounded by the bytes there are.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool Has(std::size_t offset, std::size_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }
    std::uint32_t U32(std::size_t offset) const { return Has(offset, 4) ? Number(offset, 4) : 0; }
    std::uint16_t U16(std::size_t offset) const {
        return Has(offset, 2) ? static_cast<std::uint16_t>(Number(offset, 2)) : 0;
    }
    // A NUL-ended name; empty when it runs off the end.
    std::string Name(std::size_t offset) const {
        if (offset >= bytes_.size()) return {};
        const std::size_t end = bytes_.find('\0', offset);
        if (end == std::string_view::npos || end - offset > 512) return {};
        return std::string(bytes_.substr(offset, end - offset));
    }

private:
    std::uint32_t Number(std::size_t offset, std::size_t size) const {
        std::uint32_t value = 0;
        for (std::size_t i = size; i-- > 0;)
            value = (value << 8) | static_cast<unsigned char>(bytes_[offset + i]);
        return value;
    }
    std::string_view bytes_;
};

struct Section {
    std::uint32_t address;
    std::uint32_t size;
    std::uint32_t raw;
    std::uint32_t rawSize;
};

// The file offset of an address in the image; 0 when no section holds it.
std::size_t OffsetOf(const std::vector<Section>& sections, std::uint32_t rva) {
    for (const Section& s : sections) {
        if (rva >= s.address && rva - s.address < s.size && rva - s.address < s.rawSize)
            return s.raw + rva - s.address;
    }
    return 0;
}

}  // namespace

PeFacts ReadPeFacts(std::string_view bytes) {
    PeFacts facts;
    const Reader file(bytes);
    if (!file.Has(0, 0x40) || bytes.substr(0, 2) != "MZ") return facts;
    const std::size_t pe = file.U32(0x3C);
    if (!file.Has(pe, 24) || bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) return facts;
    const std::size_t sectionCount = file.U16(pe + 6);
    const std::size_t optionalSize = file.U16(pe + 20);
    const std::size_t optional = pe + 24;
    const bool pe32plus = file.U16(optional) == 0x20B;
    const std::size_t directories = optional + (pe32plus ? 112 : 96);
    const std::uint32_t directoryCount = file.U32(directories - 4);
    std::vector<Section> sections;
    const std::size_t table = optional + optionalSize;
    for (std::size_t i = 0; i < sectionCount && file.Has(table + 40 * i, 40); ++i) {
        const std::size_t at = table + 40 * i;
        sections.push_back({file.U32(at + 12), file.U32(at + 8), file.U32(at + 20), file.U32(at + 16)});
    }
    facts.valid = true;

    if (directoryCount > 0) {
        const std::size_t exportTable = OffsetOf(sections, file.U32(directories));
        if (exportTable != 0 && file.Has(exportTable, 40)) {
            const std::uint32_t count = file.U32(exportTable + 24);
            const std::size_t names = OffsetOf(sections, file.U32(exportTable + 32));
            for (std::uint32_t i = 0;
                 names != 0 && i < count && i < 65536 && file.Has(names + std::size_t{4} * i, 4); ++i) {
                if (const std::size_t name = OffsetOf(sections, file.U32(names + std::size_t{4} * i))) {
                    facts.exports.push_back(file.Name(name));
                }
            }
        }
    }
    if (directoryCount > 1) {
        std::size_t descriptor = OffsetOf(sections, file.U32(directories + 8));
        for (int i = 0; descriptor != 0 && file.Has(descriptor, 20) && i < 1024; ++i, descriptor += 20) {
            const std::uint32_t nameAddress = file.U32(descriptor + 12);
            if (nameAddress == 0) break;
            if (const std::size_t name = OffsetOf(sections, nameAddress))
                facts.imports.push_back(file.Name(name));
        }
    }
    return facts;
}

bool Exports(const PeFacts& facts, std::string_view name) {
    for (const std::string& exported : facts.exports) {
        if (exported == name) return true;
    }
    return false;
}

}  // namespace check
