// How a process ended, or the fault that ended it, worded once for every
// report that tells it (the supervisor's, the fault paths', the load
// rehearsal's, misura-libreria's children): the reason part of a message,
// kept in memory of its own so that a fault handler may make one.
#pragma once

#include "platform/messages.h"

namespace platform {

struct Ending {
    Message id;
    char argument[64];

    // The reason to render; it points into this ending.
    MessageView view() const noexcept { return {id, {argument}}; }
};

// An end with exit status.
Ending endingWithStatus(long status) noexcept;
// An end as message tells it, with argument (cut to fit) when it takes one.
Ending endingWith(Message message, const char* argument = nullptr) noexcept;

// On POSIX systems: how a process ended with the wait status status (an exit
// status, or a signal by its description); and the fault signal, by its description.
Ending endingOfWaitStatus(int status) noexcept;
Ending endingOfSignal(int signal) noexcept;
// On POSIX systems: a process stopped for good by signal, by its name (SIGSTOP).
Ending endingOfStop(int signal) noexcept;
// On POSIX systems: signal's name (SIGTERM), or its number.
void appendSignalName(Text& out, int signal) noexcept;

// On Windows: how a process ended with exit code (an exception's name or code
// when it is one, otherwise an exit status); and the exception code, by its
// name (abort for the code that stands for abort()) or in hexadecimal.
Ending endingOfExitCode(unsigned long code) noexcept;
Ending endingOfException(unsigned long code) noexcept;

} // namespace platform
