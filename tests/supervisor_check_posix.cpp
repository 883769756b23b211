// supervisor_check's POSIX ends: by a signal, by a fault the program's
// handler takes, waiting for one after printing the child's process id (with
// SIGTERM ignored, as a library may leave it, for ignore-term), by
// sending the supervisor a signal or stopping itself, after printing the core
// limit it has, or after leaving a process behind that prints its id.
// Usage: supervisor_check signal NUMBER | fault | wait | ignore-term | signal-supervisor NUMBER | stop | core-limit | leave-process
#include "tests/supervisor_check.h"

#include "platform/isolation/supervisor.h"

#include <signal.h>
#include <sys/resource.h>
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
    if (how == "signal-supervisor") {
        kill(getppid(), value);
        pause();
    }
    if (how == "stop")
        raise(SIGSTOP);
    if (how == "core-limit") {
        rlimit core{};
        getrlimit(RLIMIT_CORE, &core);
        std::printf("core limit %lu\n", static_cast<unsigned long>(core.rlim_max));
        platform::announceEnd(0);
        std::_Exit(0);
    }
    if (how == "leave-process") {
        const pid_t left = fork();
        if (left == 0) {
            setsid();
            for (;;)
                pause();
        }
        std::printf("left %d\n", static_cast<int>(left));
        platform::announceEnd(0);
        std::_Exit(0);
    }
    if (how == "ignore-term")
        signal(SIGTERM, SIG_IGN);
    if (how == "wait" || how == "ignore-term") {
        std::printf("child %d\n", static_cast<int>(getpid()));
        std::fflush(stdout);
        pause();
    }
}
