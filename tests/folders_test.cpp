// Making the program's folder and its drive current, as the window's load
// does, checked against an independent answer for where the program is.
#include "platform/folders.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(Folders, TheProgramsFolderAndDriveBecomeCurrent)
{
    const fs::path program = testing_support::programPath();
    if (program.empty())
        GTEST_SKIP() << "the system does not tell the program's path";
    testing_support::TempFolder elsewhere;
    testing_support::CurrentDirectory cwd(elsewhere.path());
    platform::setCurrentDrive(platform::programFolder());
    platform::setCurrentDirectory(platform::programFolder());
    EXPECT_EQ(fs::current_path(), program.parent_path());
}

TEST(Folders, AFolderThatCannotBeMadeCurrentRaises76)
{
    EXPECT_EQ(testing_support::errorNumberOf(
                  [] { platform::setCurrentDirectory((fs::temp_directory_path() / "vc-no-such-folder").string()); }),
              platform::kPathNotFound);
}
