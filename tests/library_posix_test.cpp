// Binding on POSIX systems: the standard search before the last folder, files
// that are not regular, and libraries whose constructor faults or ends the
// process, which are tried in a child before the program loads them.
#include "platform/library.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace platform;
using testing_support::descriptionOf;
using testing_support::errorNumberOf;
using testing_support::kFakes;
using testing_support::kLibraryFile;
using testing_support::kStandInFile;
using testing_support::TempFolder;
namespace fs = std::filesystem;

TEST(LibraryDeathTest, TheStandardSearchComesBeforeTheLastFolder)
{
    // In a fresh process, where no library of the same name is loaded yet to
    // answer the search. The test's own run path holds the stand-in; the last
    // folder a copy of it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bool standIn;
            {
                TempFolder last;
                fs::copy_file(kStandInFile, last.path() / kLibraryFile);
                Library lib(kFakes + "/empty", kLibraryFile, last.path().string());
                lib.resolve("xrQuendril");
                std::fprintf(stderr, "loaded %s\n", lib.loadedPath().c_str());
                standIn = fs::equivalent(lib.loadedPath(), kStandInFile);
            }
            std::exit(standIn ? 0 : 1);
        },
        testing::ExitedWithCode(0), "^loaded ");
}

TEST(Library, OnlyARegularFileIsEverOpened)
{
    // Opening a FIFO would block for ever; anything but a regular file is 48.
    TempFolder beside;
    ASSERT_EQ(mkfifo((beside.path() / kLibraryFile).c_str(), 0600), 0);
    Library lib(beside.path().string(), kLibraryFile);
    EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kLibraryNotLoadable);
    EXPECT_NE(descriptionOf(lib, "xrQuendril").find("non è un file regolare"), std::string::npos);

    // The same on the standard search's path, where the file can be seen first.
    TempFolder onPath;
    ASSERT_EQ(mkfifo((onPath.path() / "libvc-fifo.so").c_str(), 0600), 0);
    const char* saved = std::getenv("LD_LIBRARY_PATH");
    const std::string previous = saved ? saved : "";
    setenv("LD_LIBRARY_PATH", onPath.path().c_str(), 1);
    Library searched(kFakes + "/empty", "libvc-fifo.so");
    EXPECT_EQ(errorNumberOf([&] { searched.resolve("xrQuendril"); }), kLibraryNotLoadable);
    if (saved)
        setenv("LD_LIBRARY_PATH", previous.c_str(), 1);
    else
        unsetenv("LD_LIBRARY_PATH");
}

TEST(Library, AConstructorThatFaultsOrEndsTheProcessIsError51BeforeTheProgramRunsIt)
{
    // Loading is tried in a child first, so the program itself never loads these.
    const struct {
        const char* misbehaviour;
        std::string reason;
    } cases[] = {{"load_segv", strsignal(SIGSEGV)},
                 {"load_abort", strsignal(SIGABRT)},
                 {"load_blocked_segv", strsignal(SIGSEGV)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.misbehaviour);
        setenv("VC_MISBEHAVE", c.misbehaviour, 1);
        Library lib(kFakes + "/hostile", kLibraryFile);
        EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kInternalError);
        EXPECT_EQ(descriptionOf(lib, "xrQuendril"),
                  "la libreria '" + kLibraryFile + "' si è interrotta durante il caricamento: " + c.reason);
        EXPECT_FALSE(lib.loaded());
    }
    unsetenv("VC_MISBEHAVE");
}
