#include "repair/VersionTag.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

struct Case {
    int platform, major, minor;
    const char* tag;
};

const Case kCases[] = {
    {0, 0, 0, "32"},       {0, 6, 1, "32"},   {0, -1, -1, "32"},
    {1, 4, 0, "95"},       {1, 4, 10, "98"},  {1, 4, 1, "98"},
    {1, 4, 90, "Me"},      {1, 4, 9, "Me"},   {1, 4, 3, "9x"},
    {1, 5, 0, "9x"},       {1, 4, 100, "98"}, {1, 4, -10, "9x"},
    {2, 3, 51, "NT 3.51"}, {2, 3, 50, ""},    {2, 3, 510, "NT 3.51"},
    {2, 4, 0, "NT 4.0"},   {2, 5, 0, "2000"}, {2, 5, 1, "XP"},
    {2, 5, 10, "XP"},      {2, 5, 2, "2003"}, {2, 6, 0, "Vista"},
    {2, 6, 1, "W7"},       {2, 6, 10, "W7"},  {2, 6, 2, ""},
    {2, 6, 3, ""},         {2, 10, 0, ""},    {2, -6, 1, ""},
    {2, 6, -1, ""},        {2, 61, 0, ""},    {2, 0, 61, ""},
    {3, 6, 1, "??"},       {-1, 5, 1, "??"},  {2147483647, 0, 0, "??"},
};

TEST(VersionTag, TableOfPlatformsAndVersions) {
    for (const Case& c : kCases) {
        EXPECT_EQ(repair::VersionTagFor({c.platform, c.major, c.minor}), c.tag)
            << "platform " << c.platform << " version " << c.major << "." << c.minor;
    }
}

TEST(VersionTag, DoesNotDependOnTheDecimalSeparator) {
    // A locale whose decimal separator is the comma must not change the reading of "5.1".
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) std::setlocale(LC_NUMERIC, "German");
    EXPECT_EQ(repair::VersionTagFor({2, 5, 1}), "XP");
    EXPECT_EQ(repair::VersionTagFor({2, 6, 1}), "W7");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(VersionTag, GetWindowsVersionTagReadsTheStoredVersion) {
    repair::StoreWindowsVersion({2, 6, 1});
    EXPECT_EQ(repair::GetWindowsVersionTag(), "W7");
    repair::StoreWindowsVersion({});                  // a failed version query leaves all three at zero
    EXPECT_EQ(repair::GetWindowsVersionTag(), "32");  // as before any version was stored
}

}  // namespace
