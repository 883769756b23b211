// The two timed runs with both methods, against the stand-in library and
// test-only libraries, through a fake window and a scripted clock.
#include "runs.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace core;
using testing_support::errorNumberOf;
using testing_support::ScriptedTicks;

namespace {

const std::string kFakes = FAKES_DIR;

// Records what a run asks of its window, in order.
class FakeWindow final : public RunWindow {
public:
    FakeWindow(bool option1, std::vector<std::string>& log) : option1_(option1), log_(log) {}
    bool Option1Selected() const override
    {
        log_.push_back("option");
        return option1_;
    }
    void MsgBox(const std::u16string& prompt) override
    {
        log_.push_back("msgbox");
        shown.push_back(prompt);
    }
    std::vector<std::u16string> shown;

private:
    bool option1_;
    std::vector<std::string>& log_;
};

// A tick source that also writes each reading into the shared log.
class LoggingTicks final : public TickSource {
public:
    explicit LoggingTicks(std::vector<std::string>& log) : log_(log) {}
    std::uint32_t ticks() noexcept override
    {
        log_.push_back("tick");
        return now += 40;
    }
    std::uint32_t now = 1000;

private:
    std::vector<std::string>& log_;
};

struct Fixture {
    explicit Fixture(std::string folder, bool option1 = true,
                     std::string fileName = QuendrilLibrary::defaultFileName())
        : library(std::move(folder), std::move(fileName)), ticks(log), window(option1, log)
    {
    }
    RunEnvironment env() { return {library, ticks, u",", platform::ansiCodePage()}; }

    std::vector<std::string> log;
    QuendrilLibrary library;
    LoggingTicks ticks;
    FakeWindow window;
};

const std::string kStandIn = BIN_DIR;
// A library name found nowhere, so any call into it would fail.
const std::string kAbsent = "libquendril-absent.so";
const std::vector<std::string> kTimedOrder = {"tick", "option", "tick", "msgbox"};

} // namespace

TEST(Runs, DisplayFormHasASpaceBeforeNonNegativeValues)
{
    EXPECT_EQ(displayForm(50000), u" 50000");
    EXPECT_EQ(displayForm(0), u" 0");
    EXPECT_EQ(displayForm(-7), u"-7");
}

TEST(Command1, InProgramMethodShowsLengthCarriageReturnAndTime)
{
    Fixture f(kFakes + "/empty", false, kAbsent); // no library is reachable
    Command1_Click(f.window, f.env());
    ASSERT_EQ(f.window.shown.size(), 1u);
    EXPECT_EQ(f.window.shown[0], u" 50000\rimpiegati 0,040 sec.");
    EXPECT_EQ(f.log, kTimedOrder);
}

TEST(Command1, LibraryMethodShowsTheLengthOfWhatTheLibraryReturned)
{
    Fixture standIn(kStandIn);
    Command1_Click(standIn.window, standIn.env());
    EXPECT_EQ(standIn.window.shown.at(0), u" 50000\rimpiegati 0,040 sec.");
    EXPECT_EQ(standIn.log, kTimedOrder);

    Fixture null(kFakes + "/null");
    Command1_Click(null.window, null.env());
    EXPECT_EQ(null.window.shown.at(0), u" 0\rimpiegati 0,040 sec.");

    Fixture replaced(kFakes + "/replace");
    Command1_Click(replaced.window, replaced.env());
    EXPECT_EQ(replaced.window.shown.at(0), u" 3\rimpiegati 0,040 sec.");
}

TEST(Command2, EitherMethodShowsOnlyTheTime)
{
    for (const std::string& folder : {kStandIn, kFakes + "/null", kFakes + "/replace"}) {
        for (bool option1 : {true, false}) {
            Fixture f(folder, option1);
            Command2_Click(f.window, f.env());
            ASSERT_EQ(f.window.shown.size(), 1u);
            EXPECT_EQ(f.window.shown[0], u"impiegati 0,040 sec.") << folder << option1;
            EXPECT_EQ(f.log, kTimedOrder);
        }
    }
}

TEST(Runs, BindingErrorsEndTheRunInsideTheTimedIntervalWithNoMessage)
{
    struct Case {
        std::string folder;
        std::string fileName;
        int number;
    };
    const std::vector<Case> cases = {
        {kFakes + "/empty", kAbsent, platform::kFileNotFound},
        {kFakes + "/not_a_library", "libquendril.so", platform::kLibraryNotLoadable},
    };
    for (const Case& c : cases) {
        Fixture one(c.folder, true, c.fileName);
        EXPECT_EQ(errorNumberOf([&] { Command1_Click(one.window, one.env()); }), c.number);
        EXPECT_TRUE(one.window.shown.empty());
        EXPECT_EQ(one.log, (std::vector<std::string>{"tick", "option"}));

        Fixture two(c.folder, true, c.fileName);
        EXPECT_EQ(errorNumberOf([&] { Command2_Click(two.window, two.env()); }), c.number);
        EXPECT_TRUE(two.window.shown.empty());
    }
    Fixture missing(kFakes + "/no_string_to_array");
    EXPECT_EQ(errorNumberOf([&] { Command2_Click(missing.window, missing.env()); }),
              platform::kEntryPointNotFound);
    Command1_Click(missing.window, missing.env()); // the export it has still works
    EXPECT_EQ(missing.window.shown.at(0), u" 50000\rimpiegati 0,040 sec.");
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
    EXPECT_EQ(f.window.shown[1], u" 0\rimpiegati 0,040 sec.");
    EXPECT_EQ(f.window.shown[2], u" 0\rimpiegati 0,040 sec.");
}

TEST(Runs, EveryLibraryGivesTheExactMessageOrANumberedError)
{
    // What each run shows with each library: its message, or the error that ends it.
    struct Case {
        std::string fake;
        std::u16string run1; // a message, or empty when run 1 ends with error1
        int error1;
        bool run2Shows;
        int error2;
    };
    const std::u16string time = u"impiegati 0,040 sec.";
    const std::vector<Case> cases = {
        {"null", u" 0\r" + time, 0, true, 0},
        {"empty_result", u" 0\r" + time, 0, true, 0},
        {"large", u" 1048576\r" + time, 0, true, 0},
        {"replace", u" 3\r" + time, 0, true, 0},
        {"null_out", u" 50000\r" + time, 0, true, 0},
        {"shrink", u" 50000\r" + time, 0, true, 0},
        {"no_string_to_array", u" 50000\r" + time, 0, false, platform::kEntryPointNotFound},
        {"no_quendril", u"", platform::kEntryPointNotFound, true, 0},
        {"not_a_library", u"", platform::kLibraryNotLoadable, false, platform::kLibraryNotLoadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fake);
        Fixture one(kFakes + "/" + c.fake);
        EXPECT_EQ(errorNumberOf([&] { Command1_Click(one.window, one.env()); }), c.error1);
        EXPECT_EQ(one.window.shown, c.run1.empty() ? std::vector<std::u16string>{}
                                                   : std::vector<std::u16string>{c.run1});
        Fixture two(kFakes + "/" + c.fake);
        EXPECT_EQ(errorNumberOf([&] { Command2_Click(two.window, two.env()); }), c.error2);
        EXPECT_EQ(two.window.shown, c.run2Shows ? std::vector<std::u16string>{time}
                                                : std::vector<std::u16string>{});
    }
}

TEST(Runs, LibraryPathConvertsWhateverTheVariableHoldsAfterTheCall)
{
    struct Case {
        std::string folder;
        std::u16string after;
    };
    const std::vector<Case> cases = {
        {kStandIn, std::u16string(50000, u' ')},
        {kFakes + "/replace", u"wxyz"},
        {kFakes + "/null_out", u""},
        {kFakes + "/shrink", std::u16string(10, u' ')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        Fixture f(c.folder);
        ByteArray mat(0, kBlockElements);
        std::u16string s(kBlockBytes, u' ');
        TextToBytes(true, s, mat, f.env());
        EXPECT_EQ(s, c.after);
    }
}

TEST(Runs, LibraryTextIsDecodedByItsStoredLengthZerosAndAllBytesIncluded)
{
    Fixture f(kFakes + "/large");
    const ByteArray mat(0, kBlockElements);
    const std::u16string s = BytesToText(true, mat, kBlockBytes, f.env());
    ASSERT_EQ(s.size(), 1u << 20);
    const platform::CodePage& cp = platform::ansiCodePage();
    for (std::size_t i = 0; i < s.size(); ++i)
        ASSERT_EQ(s[i], cp.charFromCode(static_cast<std::uint8_t>(i * 7))) << i;
}

TEST(Runs, RoutineErrorsLeaveTheRunWithEverythingReleased)
{
    // A code page in which a space has a two-byte code: run 2's routine raises 6.
    class SpaceIsDoubleByte final : public platform::CodePage {
    public:
        char16_t charFromCode(std::uint8_t code) const override { return code; }
        std::int16_t codeOfChar(char16_t c) const override { return c == u' ' ? -32448 : c; }
    };
    const SpaceIsDoubleByte cp;
    Fixture f(kStandIn, false);
    const RunEnvironment env{f.library, f.ticks, u",", cp};
    EXPECT_EQ(errorNumberOf([&] { Command2_Click(f.window, env); }), platform::kOverflow);
    EXPECT_TRUE(f.window.shown.empty());

    // The run's block holds 50001 elements: one more is outside it.
    const ByteArray mat(0, kBlockElements);
    EXPECT_EQ(errorNumberOf([&] { BytesToText(false, mat, kBlockBytes + 2, f.env()); }),
              platform::kSubscriptOutOfRange);
}
