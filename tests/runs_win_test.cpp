// The runs against libraries that fault on Windows: inside a call, the run ends
// with error 51; outside one (on load, on its own thread, at detach), the
// program ends with the report of error 51.
#include "core/runs.h"

#include "platform/fatal_fault.h"
#include "tests/run_fixture.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace core;
using testing_support::descriptionOf;
using testing_support::errorNumberOf;
using testing_support::Fixture;
using testing_support::kFakes;

TEST(Runs, ALibraryThatFaultsEndsTheRunWithError51NamingFunctionAndFault)
{
    const std::vector<std::pair<const char*, std::string>> faults = {
        {"segv", "EXCEPTION_ACCESS_VIOLATION"}, {"fpe", "EXCEPTION_INT_DIVIDE_BY_ZERO"},
        {"ill", "EXCEPTION_ILLEGAL_INSTRUCTION"}, {"stack", "EXCEPTION_STACK_OVERFLOW"}, {"abort", "abort"}};
    for (const auto& [kind, fault] : faults) {
        SCOPED_TRACE(kind);
        testing_support::setEnvironment("VC_FAULT", kind);
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
