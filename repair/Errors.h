// Errors the program raises. Each carries the class name and the text that the error box and the
// start-up failure box show, and the code address it was raised at (the start-up box reports it).
#pragma once

#include <exception>
#include <string>

namespace repair {

class Error : public std::exception {
public:
    Error(std::string className, std::string message, int code = 0)
        : className_(std::move(className)), message_(std::move(message)), code_(code) {}

    const std::string& ClassName() const { return className_; }
    const std::string& Message() const { return message_; }
    int Code() const { return code_; }
    const void* RaisedAt() const { return raisedAt_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // Throws the error, recording the address of the code that called Raise.
    [[noreturn]] void Raise() const;

private:
    std::string className_;
    std::string message_;
    int code_;
    const void* raisedAt_ = nullptr;
};

// Input/output error of a folder that cannot be made (code 3: path not found).
Error CannotCreateDirectoryError();
// Input/output error of a program whose own path, or its file list's, is too long for the file functions
// (code 206: file name too long).
Error ProgramPathTooLongError();

}  // namespace repair
