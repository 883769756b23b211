// Binding on POSIX systems: the standard search before the last folder, files
// that are not regular, and libraries whose constructor faults or ends the
// process, which are tried in a child before the program loads them.
#include "platform/library.h"

#include "platform/isolation/load_rehearsal.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace platform;
using testing_support::descriptionOf;
using testing_support::errorNumberOf;
using testing_support::kFakes;
using testing_support::kLibraryFile;
using testing_support::TempFolder;
namespace fs = std::filesystem;

// The system's maths library stands for any library the standard search
// finds: neither a library loaded earlier in this process nor a sanitizer's
// hold on the loader changes where the system finds it.
TEST(Library, TheStandardSearchComesBeforeTheLastFolder)
{
    Library system(kFakes + "/empty", "libm.so.6");
    system.resolve("cos");
    TempFolder last;
    fs::copy_file(system.loadedPath(), last.path() / "libm.so.6");
    Library maths(kFakes + "/empty", "libm.so.6", last.path().string());
    maths.resolve("cos");
    EXPECT_TRUE(fs::equivalent(maths.loadedPath(), system.loadedPath())) << maths.loadedPath();
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
    // Loading is tried in another process first, by the rehearsal program or,
    // when that cannot be started, by a forked copy of this one; this process,
    // which has one thread, never loads these.
    const struct {
        const char* misbehaviour;
        std::string reason;
    } cases[] = {{"load_segv", strsignal(SIGSEGV)},
                 {"load_abort", strsignal(SIGABRT)},
                 {"load_blocked_segv", strsignal(SIGSEGV)},
                 {"load_threaded_blocked_segv", strsignal(SIGSEGV)},
                 {"load_exits", "stato di uscita 0"}};
    for (const char* program : {"", "/nonexistent/rehearsal"}) {
        if (*program)
            rehearsal::setProgram(program);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.misbehaviour) + ", rehearsal program '" + program + "'");
            setenv("VC_MISBEHAVE", c.misbehaviour, 1);
            Library lib(kFakes + "/hostile", kLibraryFile);
            EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kInternalError);
            EXPECT_EQ(descriptionOf(lib, "xrQuendril"),
                      "la libreria '" + kLibraryFile + "' si è interrotta durante il caricamento: " + c.reason);
            EXPECT_FALSE(lib.loaded());
        }
    }
    rehearsal::setProgram("");
    unsetenv("VC_MISBEHAVE");
}

TEST(Library, ARehearsalStartedAheadStandsForTheFileItLoadedAndOnlyForIt)
{
    // The rehearsal started by prepare() ran with the fault asked for; the
    // first call takes its outcome instead of trying again without it.
    TempFolder folder;
    const fs::path file = folder.path() / kLibraryFile;
    fs::copy_file(kFakes + "/hostile/" + kLibraryFile, file);
    setenv("VC_MISBEHAVE", "load_segv", 1);
    Library ahead(folder.path().string(), kLibraryFile);
    ahead.prepare();
    unsetenv("VC_MISBEHAVE");
    EXPECT_EQ(errorNumberOf([&] { ahead.resolve("xrQuendril"); }), kInternalError);

    // A file replaced after its rehearsal started is tried again: the early
    // outcome (a clean load) would let this process run the faulting constructor.
    Library replaced(folder.path().string(), kLibraryFile);
    replaced.prepare();
    fs::remove(file);
    fs::copy_file(kFakes + "/hostile/" + kLibraryFile, file);
    std::ofstream(file, std::ios::app) << '\n'; // another size, whatever the clock's grain
    setenv("VC_MISBEHAVE", "load_segv", 1);
    EXPECT_EQ(errorNumberOf([&] { replaced.resolve("xrQuendril"); }), kInternalError);
    unsetenv("VC_MISBEHAVE");
    EXPECT_FALSE(replaced.loaded());
}
