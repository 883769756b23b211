// The two timed runs with both methods, against the stand-in library and
// test-only libraries, through a fake window and a scripted clock.
#include "core/runs.h"

#include "core/quendril_library.h"
#include "platform/fatal_fault.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace core;
using testing_support::errorNumberOf;
using testing_support::kAbsentLibrary;
using testing_support::kFakes;
using testing_support::kStandInFolder;

namespace {

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
    std::uint32_t ticks() override
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

const std::u16string kTime = u"impiegati 0,040 sec.";
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
    const RunEnvironment env{f.library, f.ticks, u",", spaceIsDoubleByte};
    EXPECT_EQ(errorNumberOf([&] { Command2_Click(f.window, env); }), platform::kOverflow);
    EXPECT_TRUE(f.window.shown.empty());

    // The run's block holds 50001 elements: one more is outside it.
    const ByteArray mat(0, kBlockElements);
    EXPECT_EQ(errorNumberOf([&] { BytesToText(Method::InProgram, mat, kBlockBytes + 2, f.env()); }),
              platform::kSubscriptOutOfRange);
}

namespace {

// The description of the error f raises; empty when it raises none.
template <class F>
std::string descriptionOf(F&& f)
{
    try {
        f();
    } catch (const platform::RuntimeError& e) {
        return e.description();
    }
    return {};
}

void setFault(const char* kind)
{
#ifdef _WIN32
    _putenv_s("VC_FAULT", kind);
#else
    setenv("VC_FAULT", kind, 1);
#endif
}

} // namespace

#ifdef _WIN32
TEST(Runs, ALibraryThatFaultsEndsTheRunWithError51NamingFunctionAndFault)
{
    const std::vector<std::pair<const char*, std::string>> faults = {
        {"segv", "EXCEPTION_ACCESS_VIOLATION"}, {"fpe", "EXCEPTION_INT_DIVIDE_BY_ZERO"},
        {"ill", "EXCEPTION_ILLEGAL_INSTRUCTION"}, {"stack", "EXCEPTION_STACK_OVERFLOW"}, {"abort", "abort"}};
    for (const auto& [kind, fault] : faults) {
        SCOPED_TRACE(kind);
        setFault(kind);
        Fixture f(kFakes + "/faults");
        const std::string d = descriptionOf([&] { Command1_Click(f.window, f.env()); });
        EXPECT_NE(d.find("'xrQuendril'"), std::string::npos) << d;
        EXPECT_NE(d.find(testing_support::kLibraryFile), std::string::npos) << d;
        EXPECT_NE(d.find(fault), std::string::npos) << d;
        EXPECT_EQ(errorNumberOf([&] { Command2_Click(f.window, f.env()); }), platform::kInternalError);
        EXPECT_TRUE(f.window.shown.empty());
    }
}

TEST(RunsDeathTest, AFaultOutsideACallEndsTheProgramWithTheReportOfError51)
{
    // Each case faults while the library is loaded, on its thread, or in its
    // detach code once the program ends after a correct run.
    struct Case {
        const char* folder;
        const char* misbehaviour;
        bool endAfterwards;
        std::string report;
    };
    const std::string lib = "della libreria 'quendril.dll' si .*interrotta";
    const std::vector<Case> cases = {
        {"/thread_fault", "none", false, "la funzione 'xrQuendril' " + lib + ": EXCEPTION_ACCESS_VIOLATION"},
        {"/hostile", "load_segv", false,
         "la libreria 'quendril.dll' si .*interrotta durante il caricamento: EXCEPTION_ACCESS_VIOLATION"},
        {"/hostile", "load_abort", false, "la libreria 'quendril.dll' si .*interrotta durante il caricamento: abort"},
        {"/hostile", "unload_segv", true,
         "la libreria 'quendril.dll' si .*interrotta alla chiusura del programma: EXCEPTION_ACCESS_VIOLATION"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.misbehaviour);
        _putenv_s("VC_MISBEHAVE", c.misbehaviour);
        Fixture f(kFakes + c.folder);
        EXPECT_EXIT(
            {
                Command1_Click(f.window, f.env());
                if (c.endAfterwards && f.window.shown.size() == 1)
                    std::exit(0);
            },
            testing::ExitedWithCode(1), "Errore di run-time '51': " + c.report);
    }
    _putenv_s("VC_MISBEHAVE", "");
}

TEST(RunsDeathTest, AfterAFaultInsideACallTheProgramEndsWithoutRunningTheLibrarysDetachCode)
{
    _putenv_s("VC_MISBEHAVE", "call_and_unload_segv");
    Fixture f(kFakes + "/hostile");
    EXPECT_EXIT(
        {
            if (errorNumberOf([&] { Command1_Click(f.window, f.env()); }) == platform::kInternalError) {
                std::fputs("error 51 raised\n", stderr);
                platform::endProcess(EXIT_FAILURE);
            }
        },
        testing::ExitedWithCode(1), "^error 51 raised\\s*$"); // and no report of a fault at exit
    _putenv_s("VC_MISBEHAVE", "");
}
#else
TEST(RunsDeathTest, AFaultEndsTheProgramWithTheReportOfError51NamingWhatFaulted)
{
    // The run never returns: the fresh image reports and ends with status 1.
    struct Case {
        const char* kind;
        std::string fault;
    };
    const std::vector<Case> faults = {{"segv", strsignal(SIGSEGV)}, {"fpe", strsignal(SIGFPE)},
                                      {"ill", strsignal(SIGILL)},   {"stack", strsignal(SIGSEGV)},
                                      {"abort", strsignal(SIGABRT)}};
    for (const auto& [kind, fault] : faults) {
        SCOPED_TRACE(kind);
        setFault(kind);
        Fixture f(kFakes + "/faults");
        EXPECT_EXIT(Command1_Click(f.window, f.env()), testing::ExitedWithCode(1),
                    "Errore di run-time '51': la funzione 'xrQuendril' della libreria 'libquendril.so' si è "
                    "interrotta: "
                        + fault);
    }
    // Outside a library call, the same path.
    EXPECT_EXIT(std::raise(SIGSEGV), testing::ExitedWithCode(1),
                "Errore di run-time '51': il programma si è interrotto.*: " + std::string(strsignal(SIGSEGV)));
}
#endif

#ifndef _WIN32
TEST(Runs, AStringTheLibraryHandsBackIsCheckedBeforeItIsReadOrFreed)
{
    struct Case {
        const char* misbehaviour;
        void (*run)(RunWindow&, const RunEnvironment&);
        const char* function;
        const char* problem; // null: a correct result
    };
    const std::vector<Case> cases = {
        {"claims_2gib", Command1_Click, "xrQuendril", "supera quella con cui fu allocata"},
        {"static_text", Command1_Click, "xrQuendril", "non è una stringa viva"},
        {"already_freed", Command1_Click, "xrQuendril", "non è una stringa viva"},
        {"leaves_freed", Command2_Click, "xrStringToArray", "non è una stringa viva"},
        {"none", Command1_Click, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.misbehaviour);
        setenv("VC_MISBEHAVE", c.misbehaviour, 1);
        Fixture f(kFakes + "/hostile");
        const std::string d = descriptionOf([&] { c.run(f.window, f.env()); });
        unsetenv("VC_MISBEHAVE");
        if (!c.problem) {
            EXPECT_EQ(d, "");
            EXPECT_EQ(f.window.shown.size(), 1u);
            continue;
        }
        EXPECT_NE(d.find(std::string("'") + c.function + "'"), std::string::npos) << d;
        EXPECT_NE(d.find(c.problem), std::string::npos) << d;
        EXPECT_TRUE(f.window.shown.empty());
    }
}

TEST(Runs, AnIndirectFunctionIsAFunction)
{
    Fixture f(kFakes + "/ifunc");
    Command1_Click(f.window, f.env());
    ASSERT_EQ(f.window.shown.size(), 1u);
    EXPECT_EQ(f.window.shown[0], u" 50000\r" + kTime);
}
#endif

TEST(Runs, AnExportThatIsDataRaises453)
{
    Fixture f(kFakes + "/data_export");
    EXPECT_EQ(errorNumberOf([&] { Command2_Click(f.window, f.env()); }), platform::kEntryPointNotFound);
    Command1_Click(f.window, f.env());
    EXPECT_EQ(f.window.shown.size(), 1u);
}
