// A test-only library that tries to break out of the isolation the programs
// and the tools give it, in the way VC_MISBEHAVE names (read when needed):
// an end announced to the supervisor, a signal to its parent or to the
// checker, a stop, a process left behind, the report's image steered, lines
// forged on descriptors, standard output closed or redirected, its core limit
// raised before a fault, a thread that faults after the call. Otherwise it
// keeps the contract.
#include "contract/quendril.h"
#include "tests/fakes/fake_strings.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

std::string_view misbehaviour()
{
    const char* m = std::getenv("VC_MISBEHAVE");
    return m ? m : "";
}

bool is(std::string_view name)
{
    return misbehaviour() == name;
}

// The signal the misbehaviour names after prefix ("signals_parent_TERM"); 0 for none.
int signalAfter(std::string_view prefix)
{
    if (!misbehaviour().starts_with(prefix))
        return 0;
    const std::string_view name = misbehaviour().substr(prefix.size());
    for (int signal = 1; signal < NSIG; ++signal)
        if (const char* abbreviation = sigabbrev_np(signal); abbreviation && name == abbreviation)
            return signal;
    return 0;
}

volatile int zero = 0;

void segv()
{
    zero = *static_cast<volatile int*>(nullptr);
}

// The parent of process id, from /proc; 0 when it cannot be told.
pid_t parentOf(pid_t id)
{
    const std::string path = "/proc/" + std::to_string(id) + "/stat";
    FILE* stat = std::fopen(path.c_str(), "r");
    char text[512] = "";
    if (stat) {
        if (!std::fgets(text, sizeof text, stat))
            text[0] = '\0';
        std::fclose(stat);
    }
    const char* afterName = std::strrchr(text, ')');
    return afterName ? static_cast<pid_t>(std::atol(afterName + 4)) : 0;
}

// Appends text to the file VC_PID_FILE names, if it names one.
void note(const std::string& text)
{
    if (const char* file = std::getenv("VC_PID_FILE"))
        if (FILE* f = std::fopen(file, "a")) {
            std::fputs(text.c_str(), f);
            std::fclose(f);
        }
}

// Leaves a process behind, in a session of its own, holding every descriptor
// it inherited, for ever; its id goes to VC_PID_FILE.
void leaveHolder()
{
    if (fork() != 0)
        return;
    setsid();
    note(std::to_string(getpid()) + "\n");
    for (;;)
        pause();
}

// Puts a script that ends with status 0 in place of the file VC_REPLACE_PROGRAM names.
void replaceProgram()
{
    const char* program = std::getenv("VC_REPLACE_PROGRAM");
    if (!program)
        return;
    const std::string script = std::string(program) + ".script";
    if (FILE* f = std::fopen(script.c_str(), "w")) {
        std::fputs("#!/bin/sh\nexit 0\n", f);
        std::fclose(f);
        chmod(script.c_str(), 0755);
        std::rename(script.c_str(), program);
    }
}

// Writes text on every descriptor from 1 to last.
void spray(int last, const char* text)
{
    for (int fd = 1; fd <= last; ++fd)
        if (write(fd, text, std::strlen(text)) < 0 && errno == EINTR)
            --fd;
}

// Lines a child of the tools would write, and lines of the old exchange.
constexpr char kForged[] = "result - - 0.000000001 - 0 \nok  : xrQuendril (50000 bytes)\nloaded\ndone\nunloaded\n";

void* faultLater(void*)
{
    const timespec twoSeconds{2, 0};
    nanosleep(&twoSeconds, nullptr);
    segv();
    return nullptr;
}

// The misbehaviours that end the call's process, or its parent's.
void endSomething()
{
    if (is("announces_then_exits")) {
        sigqueue(getppid(), SIGRTMIN + 2, sigval{});
        _exit(0);
    }
    if (const int signal = signalAfter("signals_parent_"))
        kill(getppid(), signal);
    if (const int signal = signalAfter("signals_checker_"))
        kill(parentOf(getppid()), signal);
    if (const int signal = signalAfter("stops_self_"))
        raise(signal);
    if (is("replaces_program"))
        replaceProgram();
    if (is("raises_core_limit")) {
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_CORE, &unlimited);
        signal(SIGSEGV, SIG_DFL);
    }
    if (is("replaces_program") || is("raises_core_limit") || is("setenv_platform"))
        segv();
}

// The misbehaviours made once in a process, on its first call.
void misbehaveOnce()
{
    static bool done = false;
    if (std::exchange(done, true))
        return;
    if (is("leaves_holder"))
        leaveHolder();
    if (is("forges_answers"))
        spray(63, kForged);
    if (is("sprays_every_descriptor"))
        spray(65535, kForged);
    if (is("closes_stdout"))
        close(STDOUT_FILENO);
    if (is("redirects_stdout"))
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    if (is("thread_faults_later")) {
        signal(SIGSEGV, SIG_DFL);
        pthread_t thread;
        if (pthread_create(&thread, nullptr, faultLater, nullptr) == 0)
            pthread_detach(thread);
    }
}

__attribute__((constructor)) void onLoad()
{
    if (is("setenv_platform"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string_view self = program_invocation_short_name;
    if (is("load_stops_parent") && (self == "prova-caricamento" || self == "verifica-libreria"))
        kill(getppid(), SIGSTOP);
}

__attribute__((destructor)) void onUnload()
{
    if (is("exits_7_at_unload"))
        _exit(7);
}

} // namespace

extern "C" {

BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    endSomething();
    misbehaveOnce();
    if (is("forges_answers") && first && count > 0)
        return SysAllocStringByteLen(nullptr, static_cast<uint32_t>(count)); // zeros, not the bytes given
    return fakes::copyOf(first, count);
}

int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    misbehaveOnce();
    return fakes::storeText(text, first);
}

} // extern "C"
