// Making the program's folder and its drive current, as the window's load
// does, checked against an independent answer for where the program is.
#include "platform/folders.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

TEST(Folders, TheProgramsFolderAndDriveBecomeCurrent)
{
#ifdef _WIN32
    if (!_pgmptr)
        GTEST_SKIP() << "the C runtime does not know the program's path";
    const fs::path program = _pgmptr;
#else
    const fs::path program = fs::read_symlink("/proc/self/exe");
#endif
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
