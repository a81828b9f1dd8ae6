// What the check reads from a component's file without loading it: the names its export table gives
// (whether it registers itself) and the libraries its import table names. Portable over the file's bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace check {

struct PeFacts {
    bool valid = false;  // a PE image whose tables could be read
    std::vector<std::string> exports;
    std::vector<std::string> imports;  // library names, in the table's order
};

PeFacts ReadPeFacts(std::string_view bytes);

bool Exports(const PeFacts& facts, std::string_view name);

}  // namespace check
