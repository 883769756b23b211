// A program that runs foreign code runs it in a child of a small supervising
// process: an end the child did not announce (a signal or fault no handler
// caught, exit() from a library, a library's own handler that exits) is
// reported by the supervisor as error 51, as a fault the program caught would be.
#pragma once

namespace platform {

// Called in main after prepareProcess, before any thread starts: returns in a
// fresh child that runs the program, while this process supervises it and
// never returns. On POSIX, signals that end a program (SIGTERM, SIGINT,
// SIGHUP, SIGQUIT) sent to the supervisor go to the child. The child ends
// when the supervisor dies (on Linux by the parent-death signal, on Windows
// by a job). Where no child can be made, returns in this process, which then
// runs unsupervised.
void superviseProcess();

// Tells the supervisor, if any, that this process is ending on purpose.
void announceEnd() noexcept;

// As announceEnd, but flushes nothing and allocates nothing: for a handler
// that ends the process from a signal or a console event.
void announceEndFromHandler() noexcept;

} // namespace platform
