// The processes misura-libreria runs: each library is measured in a child of
// its own, started from this program's file and spoken to in lines on its
// standard input and output (its standard error is the parent's). And what
// Ctrl+C does: every child killed, the export being written removed, the
// progress line cleared, status 130 at once.
#pragma once

#include "platform/ending.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace misura {

class Child {
public:
    // Starts this program with args; raises error 51 with the system's reason when it cannot.
    explicit Child(const std::vector<std::string>& args);
    // Kills the child if it still runs, and waits for it.
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Writes line and a line break to the child's input; false when the child no longer reads.
    bool send(const std::string& line);
    // The child's next line of output without its line break; none once its output has ended.
    std::optional<std::string> receive();
    // Waits for the child to end: none when it exited with status 0, else how it ended.
    std::optional<platform::Ending> ending();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The environment variable that marks a measuring child.
inline constexpr char kChildVariable[] = "VC_MISURA_CHILD";

// Marks this process as a measuring child, for the fresh image a fault of its library
// starts, which has none of its arguments but all of its environment.
void markAsChild();
// Whether this process, or the image a fault replaced, was marked as a measuring child.
bool markedAsChild();

// Whether the process has a standard output to write its report to.
bool standardOutputOpen();

// Makes Ctrl+C (and a termination request) end the command as described above;
// from here on a child that no longer reads is not a fatal signal for the parent.
void handleInterrupts();
// In a child: Ctrl+C is for the parent, which ends the children itself.
void ignoreInterrupts();
// The file to remove if the command is interrupted now (empty: none); set before it is created.
void setFileInProgress(const std::string& path);
// Writes text (a progress line, or what clears it) on standard error, leaving a line
// width columns wide; an interrupt at any moment, even during the write, clears what shows.
void writeProgress(const std::string& text, std::size_t width);

} // namespace misura
