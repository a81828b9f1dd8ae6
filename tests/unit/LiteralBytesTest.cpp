// Every text the program shows or compares must reach the binary in code page 936, whatever the
// encoding of the source file. These pins catch a build that loses the conversion.
#include <gtest/gtest.h>

#include <string>

#include "repair/Errors.h"
#include "repair/FileList.h"
#include "repair/RepairRun.h"

namespace {

TEST(LiteralBytes, ProgramTextsAreCodePage936) {
    struct Case {
        const char* name;
        std::string literal;
        std::string bytes;
    };
    const Case cases[] = {
        {"placeholder", repair::kSystemBasePlaceholder, "\xC2\xB7\xBE\xB6"},
        {"section", repair::kFileListSection, "\xCE\xC4\xBC\xFE\xC1\xD0\xB1\xED"},
        {"list file", repair::kFileListName, "\\\xCE\xC4\xBC\xFE\xC1\xD0\xB1\xED.ini"},
        {"done", repair::kRepairDoneMessage, "\xD0\xDE\xB8\xB4\xCD\xEA\xB1\xCF"},
        {"uncopied heading", repair::kCopyFailuresHeading,
         "\xD2\xD4\xCF\xC2\xCE\xC4\xBC\xFE\xCE\xB4\xC4\xDC\xB8\xB4\xD6\xC6\xA3\xBA"},
        {"not started heading", repair::kStartFailuresHeading,
         "\xD2\xD4\xCF\xC2\xCE\xC4\xBC\xFE\xB5\xC4\xD7\xA2\xB2\xE1\xB3\xCC\xD0\xF2\xCE\xB4\xC4\xDC\xC6\xF4"
         "\xB6\xAF\xA3\xBA"},
        {"cannot create directory", repair::CannotCreateDirectoryError().Message(),
         "\xB2\xBB\xC4\xDC\xB4\xB4\xBD\xA8\xC4\xBF\xC2\xBC"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.literal, c.bytes) << c.name;
}

}  // namespace
