// supervisor_check's POSIX ends: by a signal, by a fault the program's
// handler takes, or waiting for one after printing the child's process id.
// Usage: supervisor_check signal NUMBER | fault | wait
#include "tests/supervisor_check.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

void endTheSystemsWay(const std::string& how, int value)
{
    if (how == "signal") {
        signal(value, SIG_DFL);
        raise(value);
    }
    if (how == "fault")
        raise(SIGSEGV);
    if (how == "wait") {
        std::printf("child %d\n", static_cast<int>(getpid()));
        std::fflush(stdout);
        pause();
    }
}
