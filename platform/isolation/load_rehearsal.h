// The load rehearsal: a library is first loaded in another process, so that a
// constructor that faults or ends the process does so there. These are the
// parts the program and its rehearsal process share.
#pragma once

#include <string>
#include <string_view>

namespace platform::rehearsal {

// The descriptor on which the rehearsal process tells that loading returned.
constexpr int kReportDescriptor = 3;
// What it writes there once loading returned, whatever the loader's outcome.
constexpr std::string_view kLoadedReport = "loaded\n";

// Loads path (a path, or a name for the system's search) as the program
// would, with a second thread alive as the program has, then writes
// kLoadedReport on reportFd; the process is meant to end at once after it.
void loadAndReport(const char* path, int reportFd) noexcept;

// Makes path the rehearsal program the binder starts; by default the one in
// the running program's folder. A program that cannot be started leaves the
// rehearsal to a forked copy of the running program. A seam for the tests.
void setProgram(std::string path);

} // namespace platform::rehearsal
