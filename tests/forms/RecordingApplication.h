// The application as the forms see it, standing in for the real shell in the forms' test program: it owns
// the forms through a zero-size window and records what the forms ask of it instead of showing boxes.
#pragma once

#include <string>
#include <vector>

namespace forms_test {

struct ShownError {
    std::string className;  // empty for an error that is not one of the program's own
    std::string message;
};

struct ApplicationRecord {
    std::vector<ShownError> errors;
    std::vector<std::string> messages;
    int visibilityChanges = 0;
    int terminations = 0;
};

ApplicationRecord& Recorded();

}  // namespace forms_test
