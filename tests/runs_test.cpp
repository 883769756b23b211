// The two timed runs with both methods, against the stand-in library and
// test-only libraries, through a fake window and a scripted clock.
#include "core/runs.h"

#include "tests/run_fixture.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace core;
using testing_support::errorNumberOf;
using testing_support::Fixture;
using testing_support::kAbsentLibrary;
using testing_support::kFakes;
using testing_support::kStandInFolder;
using testing_support::kTime;

namespace {

const std::vector<std::string> kTimedOrder = {"tick", "option", "tick", "msgbox"};

} // namespace

TEST(Runs, DisplayFormHasASpaceBeforeNonNegativeValues)
{
    EXPECT_EQ(displayForm(50000), u" 50000");
    EXPECT_EQ(displayForm(0), u" 0");
    EXPECT_EQ(displayForm(-7), u"-7");
}

TEST(Runs, InProgramMethodNeedsNoLibraryAndTimesOnlyTheConversion)
{
    Fixture one(kFakes + "/empty", false, kAbsentLibrary); // no library is reachable
    Command1_Click(one.window, one.env());
    EXPECT_EQ(one.window.shown, std::vector<std::u16string>{u" 50000\r" + kTime});
    EXPECT_EQ(one.log, kTimedOrder);

    Fixture two(kFakes + "/empty", false, kAbsentLibrary);
    Command2_Click(two.window, two.env());
    EXPECT_EQ(two.window.shown, std::vector<std::u16string>{kTime});
    EXPECT_EQ(two.log, kTimedOrder);
}

TEST(Runs, EveryLibraryGivesTheExactMessageOrANumberedError)
{
    // What each run shows with each library: its message, or the error that ends it.
    struct Case {
        std::string folder;
        std::u16string run1; // a message, or empty when run 1 ends with error1
        int error1;
        bool run2Shows;
        int error2;
    };
    const std::vector<Case> cases = {
        {kStandInFolder, u" 50000\r" + kTime, 0, true, 0},
        {kFakes + "/null", u" 0\r" + kTime, 0, true, 0},
        {kFakes + "/empty_result", u" 0\r" + kTime, 0, true, 0},
        {kFakes + "/large", u" 1048576\r" + kTime, 0, true, 0},
        {kFakes + "/replace", u" 3\r" + kTime, 0, true, 0},
        {kFakes + "/null_out", u" 50000\r" + kTime, 0, true, 0},
        {kFakes + "/shrink", u" 50000\r" + kTime, 0, true, 0},
        {kFakes + "/no_string_to_array", u" 50000\r" + kTime, 0, false, platform::kEntryPointNotFound},
        {kFakes + "/no_quendril", u"", platform::kEntryPointNotFound, true, 0},
        {kFakes + "/not_a_library", u"", platform::kLibraryNotLoadable, false, platform::kLibraryNotLoadable},
    };
    const std::vector<std::string> kEndedInside = {"tick", "option"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        Fixture one(c.folder);
        EXPECT_EQ(errorNumberOf([&] { Command1_Click(one.window, one.env()); }), c.error1);
        EXPECT_EQ(one.window.shown, c.run1.empty() ? std::vector<std::u16string>{}
                                                   : std::vector<std::u16string>{c.run1});
        EXPECT_EQ(one.log, c.run1.empty() ? kEndedInside : kTimedOrder);
        Fixture two(c.folder);
        EXPECT_EQ(errorNumberOf([&] { Command2_Click(two.window, two.env()); }), c.error2);
        EXPECT_EQ(two.window.shown, c.run2Shows ? std::vector<std::u16string>{kTime}
                                                : std::vector<std::u16string>{});
        EXPECT_EQ(two.log, c.run2Shows ? kTimedOrder : kEndedInside);
    }
}

TEST(Runs, AbsentLibraryEndsEitherRunInsideTheTimedIntervalWithNoMessage)
{
    Fixture one(kFakes + "/empty", true, kAbsentLibrary);
    EXPECT_EQ(errorNumberOf([&] { Command1_Click(one.window, one.env()); }), platform::kFileNotFound);
    EXPECT_TRUE(one.window.shown.empty());
    EXPECT_EQ(one.log, (std::vector<std::string>{"tick", "option"}));

    Fixture two(kFakes + "/empty", true, kAbsentLibrary);
    EXPECT_EQ(errorNumberOf([&] { Command2_Click(two.window, two.env()); }), platform::kFileNotFound);
    EXPECT_TRUE(two.window.shown.empty());
}

TEST(Runs, AMissingExportLeavesTheOtherBindingUsable)
{
    Fixture f(kFakes + "/no_string_to_array");
    EXPECT_EQ(errorNumberOf([&] { Command2_Click(f.window, f.env()); }), platform::kEntryPointNotFound);
    Command1_Click(f.window, f.env());
    EXPECT_EQ(f.window.shown, std::vector<std::u16string>{u" 50000\r" + kTime});
}

TEST(Runs, EachRunStartsFromAFreshBlockAndStopwatch)
{
    // This library writes the text's bytes into the block and, asked for a
    // text, returns one byte per nonzero byte it is given: a block left over
    // from an earlier run would show as a length above 0.
    Fixture f(kFakes + "/nonzero");
    Command2_Click(f.window, f.env());
    Command1_Click(f.window, f.env());
    Command1_Click(f.window, f.env());
    ASSERT_EQ(f.window.shown.size(), 3u);
    EXPECT_EQ(f.window.shown[1], u" 0\r" + kTime);
    EXPECT_EQ(f.window.shown[2], u" 0\r" + kTime);
}

TEST(Runs, LibraryPathConvertsWhateverTheVariableHoldsAfterTheCall)
{
    struct Case {
        std::string folder;
        std::u16string after;
    };
    const std::vector<Case> cases = {
        {kStandInFolder, std::u16string(kBlockBytes, u' ')},
        {kFakes + "/replace", u"wxyz"},
        {kFakes + "/null_out", u""},
        {kFakes + "/shrink", std::u16string(10, u' ')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        Fixture f(c.folder);
        ByteArray mat(0, kBlockElements);
        std::u16string s(kBlockBytes, u' ');
        TextToBytes(Method::Library, s, mat, f.env());
        EXPECT_EQ(s, c.after);
    }
}

TEST(Runs, LibraryTextIsDecodedByItsStoredLengthZerosAndAllBytesIncluded)
{
    Fixture f(kFakes + "/large");
    const ByteArray mat(0, kBlockElements);
    const std::u16string s = BytesToText(Method::Library, mat, kBlockBytes, f.env());
    ASSERT_EQ(s.size(), 1u << 20);
    const platform::CodePage& cp = platform::ansiCodePage();
    for (std::size_t i = 0; i < s.size(); ++i)
        ASSERT_EQ(s[i], cp.charFromCode(static_cast<std::uint8_t>(i * 7))) << i;
}

TEST(Runs, RoutineErrorsLeaveTheRunWithEverythingReleased)
{
    // A code page in which a space has a two-byte code: run 2's routine raises 6.
    const testing_support::DoubleByte spaceIsDoubleByte(u' ');
    Fixture f(kStandInFolder, false);
    const RunEnvironment env{&f.library, f.ticks, u",", spaceIsDoubleByte};
    EXPECT_EQ(errorNumberOf([&] { Command2_Click(f.window, env); }), platform::kOverflow);
    EXPECT_TRUE(f.window.shown.empty());

    // The run's block holds 50001 elements: one more is outside it.
    const ByteArray mat(0, kBlockElements);
    EXPECT_EQ(errorNumberOf([&] { BytesToText(Method::InProgram, mat, kBlockBytes + 2, f.env()); }),
              platform::kSubscriptOutOfRange);
}

TEST(Runs, AnExportThatIsDataRaises453)
{
    Fixture f(kFakes + "/data_export");
    EXPECT_EQ(errorNumberOf([&] { Command2_Click(f.window, f.env()); }), platform::kEntryPointNotFound);
    Command1_Click(f.window, f.env());
    EXPECT_EQ(f.window.shown.size(), 1u);
}
