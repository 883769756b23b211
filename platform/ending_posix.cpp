// How a process ended on POSIX systems: signals by the C library's
// description, which no table translates.
#include "platform/ending.h"

#include <string.h>
#include <sys/wait.h>

namespace platform {

Ending endingOfSignal(int signal) noexcept
{
    const char* description = sigdescr_np(signal);
    Ending ending{description ? Message::verbatim : Message::signalNumber, {}};
    Text text(ending.argument, sizeof ending.argument);
    if (description)
        text.append(description);
    else
        text.appendSigned(signal);
    return ending;
}

void appendSignalName(Text& out, int signal) noexcept
{
    if (const char* name = sigabbrev_np(signal)) {
        out.append("SIG");
        out.append(name);
    } else {
        out.appendSigned(signal);
    }
}

Ending endingOfStop(int signal) noexcept
{
    Ending ending{Message::stoppedBySignal, {}};
    Text text(ending.argument, sizeof ending.argument);
    appendSignalName(text, signal);
    return ending;
}

Ending endingOfWaitStatus(int status) noexcept
{
    if (WIFSIGNALED(status))
        return endingOfSignal(WTERMSIG(status));
    return endingWithStatus(WIFEXITED(status) ? WEXITSTATUS(status) : status);
}

} // namespace platform
