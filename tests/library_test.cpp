// Binding library functions by name against real files: where a library is
// looked for, the errors for each way binding fails, and that a binding lasts.
#include "platform/library.h"

#include "contract/quendril.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;
using testing_support::CurrentDirectory;
using testing_support::descriptionOf;
using testing_support::errorNumberOf;
using testing_support::kAbsentLibrary;
using testing_support::kFakes;
using testing_support::kLibraryFile;
using testing_support::kStandInFile;
using testing_support::TempFolder;
namespace fs = std::filesystem;

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
