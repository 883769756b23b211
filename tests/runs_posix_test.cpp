// The runs against misbehaving libraries on POSIX systems: a fault ends the
// program with the report of error 51, a string handed back is checked before
// it is used, and a function chosen at load time is still a function.
#include "core/runs.h"

#include "tests/run_fixture.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace core;
using testing_support::descriptionOf;
using testing_support::Fixture;
using testing_support::kFakes;
using testing_support::kTime;

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
        testing_support::setEnvironment("VC_FAULT", kind);
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
