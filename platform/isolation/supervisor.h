// A program that runs foreign code runs it in a child of a small supervising
// process, which trusts nothing the library could forge: an end is taken as
// the program's own only when the program announced it, while no library
// code ran, with the status it ended with; every other end, a signal sent to
// the supervisor from inside the program's own processes, and a child that
// stays stopped are reported by the supervisor as error 51, as a fault the
// program caught would be.
#pragma once

namespace platform {

// Called in main after prepareProcess, before any thread starts: returns in a
// fresh child that runs the program, while this process supervises it and
// never returns. A signal that ends a program, sent to the supervisor from
// outside the program's processes, goes to the child, and the supervisor
// ends as the child then ends; a terminal's stop stops both. The child ends
// when the supervisor dies (on Linux by the parent-death signal, on Windows
// by a job), and so does every process it started once the child has ended.
// Where no child can be made, returns in this process, which then runs
// unsupervised.
void superviseProcess();

// Tells the supervisor, if any, that this process is ending on purpose with
// status: an end with another status, or one announced while library code
// ran, is not taken as announced.
void announceEnd(int status) noexcept;

// As announceEnd, but flushes nothing and allocates nothing: for a handler
// that ends the process from a signal or a console event.
void announceEndFromHandler(int status) noexcept;

} // namespace platform
