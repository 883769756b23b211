// The processes misura-libreria runs: each library is measured in a child of
// its own, started from this program's file and spoken to in framed lines
// (protocol.h) on a channel of its own, two descriptors under numbers a
// library cannot guess; its standard output goes where the parent's errors
// go, so nothing a library writes there is taken for an answer. And what
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
    // Kills the child (and whatever it started) if it still runs, and waits for it.
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Sends line as the next request and waits (a bounded time) for the child
    // to acknowledge it; false when the child no longer reads, or did not
    // acknowledge in time, and is then ended.
    bool send(const std::string& line);
    // After a send that failed: the answer the child left in its channel as
    // it ended (its error), if it left one.
    std::optional<std::string> leftAnswer();
    // The child's answer to the last request; none once the child has ended
    // or closed its channel, or its channel carried something that is not its
    // answer (and it was then ended). Never waits on a stopped child.
    std::optional<std::string> receive();
    // Waits for the child to end: none when it exited with status 0, else how
    // it ended, or what its channel carried (or did not) that made the parent end it.
    std::optional<platform::Ending> ending();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// A measuring child's side of its channel: the parent's requests, each
// acknowledged at once, and the answers, framed with the parent's token.
class ParentChannel {
public:
    // The channel this process was started with, taken out of its environment
    // (kept for the fresh image a fault starts); none for a process started otherwise.
    static std::optional<ParentChannel> join();
    // The parent's next request; none once the channel has closed, or carried
    // something that is not the parent's request.
    std::optional<std::string> request();
    // Writes line as the answer to the last request; false when it could not
    // be written, or the channel's descriptors are no longer the ones given.
    bool answer(const std::string& line);
    // Writes line as the answer that ends the child (an error), whatever the request.
    bool lastAnswer(const std::string& line);

private:
    ParentChannel() = default;
    bool write(const std::string& number, const std::string& line);
    std::string token_;
    long in_ = -1;
    long out_ = -1;
    std::string number_; // of the last request
    std::string pending_;
};

// The environment variable that names a measuring child's channel: "TOKEN:IN:OUT".
inline constexpr char kChildVariable[] = "VC_MISURA_CHILD";

// Takes this measuring child's channel out of its environment, where a library
// could read it, keeping it for the fresh image a fault of its library starts,
// which has none of its arguments but the environment it started with.
void markAsChild();
// Whether this process, or the image a fault replaced, is a measuring child.
bool markedAsChild();

// Whether the process has a standard output to write its report to.
bool standardOutputOpen();

// The signal a measuring process (or one it started) sent this one, which was
// not obeyed; none if none came.
std::optional<std::string> refusedSignal();

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
