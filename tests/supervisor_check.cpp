// A program that puts itself under the supervisor as the programs do, then
// ends the way its arguments say: announced or not, by exit or inside a
// marked library call, announced from inside a call or with another status
// than announced, or a way of its system's own (supervisor_check.h). The
// fresh image that reports an unannounced end prints the report and ends
// with status 1.
// Usage: supervisor_check announce STATUS | exit STATUS | call-exit STATUS |
//        call-announce STATUS | announce-other STATUS | idle | <a way of the system's own>
#include "tests/supervisor_check.h"

#include "platform/fatal_fault.h"
#include "platform/fault_activity.h"
#include "platform/isolation/supervisor.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char* argv[])
{
    if (const auto report = platform::prepareProcess()) {
        std::printf("report %d: %s\n", report->number(), report->description(platform::Language::italian).c_str());
        platform::endProcess(EXIT_FAILURE);
    }
    if (argc < 2)
        return 2;
    if (std::string(argv[1]) == "idle") // a process left behind, unsupervised
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    platform::superviseProcess();
    const std::string how = argv[1];
    const int value = argc > 2 ? std::atoi(argv[2]) : 0;
    if (how == "announce")
        platform::endProcess(value);
    if (how == "exit")
        std::exit(value);
    if (how == "call-exit" || how == "call-announce") {
        platform::activity::setLibrary("libprova.so");
        platform::activity::setCalling("xrQuendril");
        if (how == "call-announce")
            platform::announceEnd(value);
        std::_Exit(value);
    }
    if (how == "announce-other") { // as a library's code at exit does, after the program announced 0
        platform::announceEnd(0);
        std::_Exit(value);
    }
    endTheSystemsWay(how, value);
    return 2;
}
