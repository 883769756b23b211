// A measuring child's side: it loads one library (or none, for the in-program
// routines), measures the batches its parent asks for and answers in lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace misura {

// What a child measures, from its command line: "--serve-library PATH",
// "--serve-default" (the programs' own lookup) or "--serve-in-program".
struct ServeMode {
    enum Kind { Library, Default, InProgram } kind;
    std::string path;
};

// The mode args ask for, when they start a child; none for the command itself.
std::optional<ServeMode> serveMode(const std::vector<std::string>& args);

// The child's arguments for mode.
std::vector<std::string> serveArguments(const ServeMode& mode);

// Serves the parent on the channel it gave this child (processes.h) until it
// says "quit" or closes the channel; returns the exit status. An error is
// answered with an "error" line (protocol.h) and ends the child with status 1.
int serve(const ServeMode& mode);

// In a child whose library's fault has come back in a fresh image: the answer that reports it.
int serveFault(const std::exception_ptr& fault);

} // namespace misura
