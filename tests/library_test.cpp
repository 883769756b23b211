// Binding library functions by name against real files: where a library is
// looked for, the errors for each way binding fails, and that a binding lasts.
#include "platform/library.h"

#include "contract/quendril.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#endif

using namespace platform;
using testing_support::CurrentDirectory;
using testing_support::errorNumberOf;
using testing_support::kAbsentLibrary;
using testing_support::kFakes;
using testing_support::kLibraryFile;
using testing_support::kStandInFile;
using testing_support::TempFolder;
namespace fs = std::filesystem;

namespace {


std::string descriptionOf(Library& lib, const char* function)
{
    try {
        lib.resolve(function);
    } catch (const RuntimeError& e) {
        return e.description();
    }
    return {};
}

} // namespace

// Binding is lazy: a library that cannot be loaded is an error at its first call, not before.
TEST(Library, NothingIsLoadedBeforeTheFirstCall)
{
    Library lib(kFakes + "/not_a_library", kLibraryFile);
    EXPECT_EQ(lib.loadedPath(), "");
    EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kLibraryNotLoadable);
}

TEST(Library, TellsTheFullPathOfTheFileLoaded)
{
    // Found in the given folder. (A library is never unloaded, so a later
    // search by name in this process may answer with one already loaded.)
    const std::string folder = kFakes + "/null";
    Library lib(folder, kLibraryFile);
    EXPECT_EQ(lib.loadedPath(), "");
    lib.resolve("xrQuendril");
    EXPECT_TRUE(std::filesystem::equivalent(lib.loadedPath(), folder + "/" + kLibraryFile)) << lib.loadedPath();
    EXPECT_TRUE(std::filesystem::path(lib.loadedPath()).is_absolute()) << lib.loadedPath();
}

TEST(Library, AbsentFileRaises53NamingIt)
{
    Library lib(kFakes + "/empty", kAbsentLibrary);
    EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kFileNotFound);
    EXPECT_NE(descriptionOf(lib, "xrQuendril").find(kAbsentLibrary), std::string::npos);
}

TEST(Library, FileThatIsNotALibraryRaises48WithTheLoadersReason)
{
    Library lib(kFakes + "/not_a_library", kLibraryFile);
    EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kLibraryNotLoadable);
    const std::string d = descriptionOf(lib, "xrQuendril");
    EXPECT_NE(d.find(kLibraryFile), std::string::npos);
    EXPECT_NE(d.find(": "), std::string::npos) << d;
}

TEST(Library, MissingExportRaises453NamingFunctionAndLibrary)
{
    Library lib(kFakes + "/no_string_to_array", kLibraryFile);
    EXPECT_NE(lib.resolve("xrQuendril"), nullptr);
    EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrStringToArray"); }), kEntryPointNotFound);
    const std::string d = descriptionOf(lib, "xrStringToArray");
    EXPECT_NE(d.find("xrStringToArray"), std::string::npos);
    EXPECT_NE(d.find(kLibraryFile), std::string::npos);
}

TEST(Library, GivenFolderComesBeforeTheStandardSearch)
{
    // The program's own run path would find the stand-in; the folder's fake wins.
    Library lib(kFakes + "/null", kLibraryFile);
    auto* fn = reinterpret_cast<decltype(::xrQuendril)*>(lib.resolve("xrQuendril"));
    const std::uint8_t byte = 7;
    EXPECT_EQ(fn(&byte, 1), nullptr);
}

TEST(Library, LastFolderIsTriedOnlyWhenNothingElseFindsTheLibrary)
{
    TempFolder last;
    const std::string onlyThere = "vc-last-" + kLibraryFile;
    fs::copy_file(kStandInFile, last.path() / onlyThere);
    fs::copy_file(kStandInFile, last.path() / kLibraryFile);
    const auto loadedFrom = [&](const std::string& folder, const std::string& name) {
        Library lib(folder, name, last.path().string());
        lib.resolve("xrQuendril");
        return fs::path(lib.loadedPath());
    };
#ifndef _WIN32
    // The standard search first: the system's maths library, even with a copy in the last folder.
    Library system(kFakes + "/empty", "libm.so.6");
    system.resolve("cos");
    fs::copy_file(system.loadedPath(), last.path() / "libm.so.6");
    Library maths(kFakes + "/empty", "libm.so.6", last.path().string());
    maths.resolve("cos");
    EXPECT_TRUE(fs::equivalent(maths.loadedPath(), system.loadedPath())) << maths.loadedPath();
#endif
    EXPECT_TRUE(fs::equivalent(loadedFrom(kFakes + "/null", kLibraryFile), kFakes + "/null/" + kLibraryFile));
    EXPECT_TRUE(fs::equivalent(loadedFrom(kFakes + "/empty", onlyThere), last.path() / onlyThere));

    Library nowhere(kFakes + "/empty", kAbsentLibrary, last.path().string());
    EXPECT_EQ(errorNumberOf([&] { nowhere.resolve("xrQuendril"); }), kFileNotFound);
}

TEST(Library, LibraryInTheCurrentDirectoryIsNeverLoaded)
{
    TempFolder planted;
    fs::copy_file(kStandInFile, planted.path() / ("planted-" + kLibraryFile));
    CurrentDirectory cwd(planted.path());
    Library lib(kFakes + "/empty", "planted-" + kLibraryFile);
    EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kFileNotFound);
    EXPECT_FALSE(lib.loaded());
}

TEST(Library, NameWithAFolderIsNeverTakenRelativeToTheCurrentDirectory)
{
    TempFolder start;
    fs::create_directory(start.path() / "sub");
    fs::copy_file(kStandInFile, start.path() / "sub" / kLibraryFile);
    CurrentDirectory cwd(start.path());
    Library lib(kFakes + "/empty", "sub/" + kLibraryFile);
    EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kFileNotFound);
}

TEST(Library, BindingIsMadeOnceAndOutlivesTheFile)
{
    TempFolder folder;
    fs::copy_file(kStandInFile, folder.path() / kLibraryFile);
    Library lib(folder.path().string(), kLibraryFile);
    LazyFunction<decltype(::xrQuendril)> fn(lib, "xrQuendril");
    auto* first = fn.get();
    std::error_code ignored; // Windows keeps a loaded library's file from being removed
    fs::remove(folder.path() / kLibraryFile, ignored);
    EXPECT_EQ(fn.get(), first);
    LazyFunction<decltype(::xrStringToArray)> other(lib, "xrStringToArray");
    EXPECT_NE(other.get(), nullptr); // the loaded library serves later bindings too

    const std::uint8_t bytes[] = {1, 2, 3};
    BSTR s = fn.get()(bytes, 3);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    SysFreeString(s);
}

#ifndef _WIN32
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
#endif

#ifndef _WIN32
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
#endif
