// A program that puts itself under the supervisor as the programs do, then
// ends the way its arguments say: announced or not, by exit or by a signal,
// inside a marked library call or not. The fresh image that reports an
// unannounced end prints the report and ends with status 1.
// Usage: supervisor_check announce STATUS | exit STATUS | signal NUMBER | call-exit STATUS | wait
#include "platform/fatal_fault.h"
#include "platform/fault_activity.h"
#include "platform/supervisor.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[])
{
    if (const auto report = platform::prepareProcess()) {
        std::printf("report %d: %s\n", report->number(), report->description().c_str());
        platform::endProcess(EXIT_FAILURE);
    }
    if (argc < 2)
        return 2;
    platform::superviseProcess();
    const std::string how = argv[1];
    const int value = argc > 2 ? std::atoi(argv[2]) : 0;
    if (how == "announce")
        platform::endProcess(value);
    if (how == "exit")
        std::exit(value);
    if (how == "signal") {
        signal(value, SIG_DFL);
        raise(value);
    }
    if (how == "call-exit") {
        platform::activity::setLibrary("libprova.so");
        platform::activity::setCalling("xrQuendril");
        _exit(value);
    }
    if (how == "wait") {
        std::printf("child %d\n", static_cast<int>(getpid()));
        std::fflush(stdout);
        pause();
    }
    return 2;
}
