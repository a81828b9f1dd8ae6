#include "repair/Errors.h"

namespace repair {

__attribute__((noinline)) void Error::Raise() const {
    Error raised = *this;
    raised.raisedAt_ = __builtin_extract_return_addr(__builtin_return_address(0));
    throw raised;  // NOLINT(cert-err09-cpp,cert-err61-cpp): a copy that records where it was raised
}

Error CannotCreateDirectoryError() {
    return Error("EInOutError", "不能创建目录", 3);
}

Error ProgramPathTooLongError() {
    return Error("EInOutError", "程序所在文件夹的路径过长", 206);
}

}  // namespace repair
