// The rehearsal's load: a second thread is started first, so that a
// constructor that misbehaves only in a process with threads does so here;
// the fault signals are back at their defaults, so that a fault ends the
// process with its signal whatever handlers the process had.
#include "platform/isolation/load_rehearsal.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace platform::rehearsal {

namespace {

void* waitForEver(void*)
{
    for (;;)
        pause();
}

} // namespace

void loadAndReport(const char* path, int reportFd) noexcept
{
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS})
        ::signal(signal, SIG_DFL);
    pthread_t second;
    // Without a second thread the rehearsal still catches what needs none.
    if (pthread_create(&second, nullptr, waitForEver, nullptr) == 0)
        pthread_detach(second);
    dlopen(path, RTLD_NOW | RTLD_LOCAL); // a library that cannot be loaded is told by the real attempt
    const ssize_t written = write(reportFd, kLoadedReport.data(), kLoadedReport.size());
    static_cast<void>(written); // a report that did not arrive is the parent's to tell
}

} // namespace platform::rehearsal
