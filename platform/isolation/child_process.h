// Child processes as the isolation subsystem starts and watches them: each is
// given the channels its parent chose (under numbers a library cannot guess
// on POSIX systems) and nothing else of the parent's above the standard
// three, with its signals at their defaults; it is waited for without ever
// waiting for ever on one that stopped; and how it ended is worded once.
#pragma once

#include "platform/ending.h"
#include "platform/messages.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::isolation {

// How a child ended.
struct ChildEnd {
    enum class Way { Exited, Signalled, Stopped };
    Way way;
    // Its exit status (on Windows its exit code, an exception's among them),
    // or the signal that ended or stopped it.
    long code;
};

// How a child ended, as every report words it (platform/ending.h): its exit
// status, the signal's or the exception's name, the signal that stopped it.
Ending describeEnd(const ChildEnd& end) noexcept;

// Where a child's standard descriptors lead.
enum class StandardStreams {
    Inherited,  // the parent's own
    ErrorsOnly, // no input, and its output goes where the parent's errors go
};

// What to start.
struct ChildSpec {
    std::string program;                      // a path; empty for this program's own file
    std::vector<std::string> args;            // after the program's name
    std::vector<std::pair<long, long>> channels; // a descriptor (handle) here, and its number in the child
    std::vector<std::pair<std::string, std::string>> variables; // added to its environment
    StandardStreams streams = StandardStreams::Inherited;
    Message cannotStart = Message::cannotStartMeasuringProcess; // the error when it cannot start
};

// Numbers for count channels of a child, unpredictable (above 63 and below
// the descriptor limit) on POSIX systems, where the child then finds them;
// on Windows a handle keeps its value in the child, and here gives the ones given.
std::vector<long> channelNumbers(const std::vector<long>& here);

// A token of 16 hexadecimal digits from the system's random source, for the
// lines of a channel: a library's writes do not carry it.
std::string unpredictableToken();

class ChildProcess {
public:
    // Starts spec's program; raises error 51 (spec.cannotStart, with the
    // system's reason) when it cannot. A program given by path gets its
    // channels numbered from 3 on.
    explicit ChildProcess(const ChildSpec& spec);
    // A child this process made otherwise (a fork), watched from now on.
    static ChildProcess adopt(long id) noexcept;
    ChildProcess(ChildProcess&& other) noexcept;
    // Ends and waits for the child this held, if it still runs, and takes other's.
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    // Ends the child if it still runs, and waits for it.
    ~ChildProcess();

    // Its process id.
    long id() const noexcept { return id_; }
    // Waits until it has ended. One that stays stopped (not a terminal's stop
    // and continue, which reach its parent too) is ended, its stop being how it ended.
    ChildEnd wait();
    // Its end, as wait tells it, if it has come; none while it runs. Never blocks.
    std::optional<ChildEnd> poll();
    // Ends it at once, stopped or not; wait and poll then tell how it ended.
    void end() noexcept;
    // Whether it was last seen stopped (and its end not yet told).
    bool stopped() const noexcept { return stoppedBy_.has_value() && !ended_; }

private:
    ChildProcess() = default;
    // Takes in a change of the child's state as the system told it.
    void take(int status);
    // Ends and waits for the child, if it still runs, and lets it go.
    void release() noexcept;
    long id_ = -1;
    std::intptr_t handle_ = 0; // the process's handle on Windows
    std::optional<ChildEnd> ended_;
    std::optional<ChildEnd> stoppedBy_; // while it is stopped
    std::int64_t stoppedSince_ = 0;     // on the monotonic clock, in milliseconds
};

} // namespace platform::isolation
