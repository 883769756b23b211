// Why a library did not load, as a Windows user reads it: the file named for
// what it is (not a Windows library, the other bitness) or the library it
// needs that Windows does not find, and the system's message with its insert
// filled, not left as a placeholder.
#include "platform/library.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;
using testing_support::descriptionOf;
using testing_support::errorNumberOf;
using testing_support::kFakes;
using testing_support::kLibraryFile;

namespace {

// The description of error 48 for the library in kFakes' folder, which must be it.
std::string notLoadable(const std::string& folder)
{
    Library lib(kFakes + "/" + folder, kLibraryFile);
    EXPECT_EQ(errorNumberOf([&] { lib.resolve("xrQuendril"); }), kLibraryNotLoadable);
    const std::string d = descriptionOf(lib, "xrQuendril");
    EXPECT_EQ(d.find("%1"), std::string::npos) << d;
    return d;
}

TEST(LibraryWin, LoadFailuresNameTheirCause)
{
    EXPECT_NE(notLoadable("not_a_library").find(kLibraryFile + "': non è una libreria di Windows ("), std::string::npos);
    EXPECT_NE(notLoadable("needs_absent").find("richiede 'vc-absent-dependency.dll', che Windows non trova"),
              std::string::npos);
}

TEST(LibraryWin, LibraryOfTheOtherBitnessIsNamedSo)
{
    if (!std::filesystem::exists(kFakes + "/other_bitness/" + kLibraryFile))
        GTEST_SKIP() << "no library of the other bitness: its MinGW-w64 compiler is not installed";
    const std::string expected = sizeof(void*) == 8 ? "è una libreria a 32 bit: i programmi sono a 64 bit ("
                                                    : "è una libreria a 64 bit: i programmi sono a 32 bit (";
    EXPECT_NE(notLoadable("other_bitness").find(expected), std::string::npos);
}

} // namespace
