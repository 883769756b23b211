// Child processes and Ctrl+C on POSIX systems: this program's own file started
// as a child (platform/isolation/child_process.h) with two pipes placed under
// numbers it finds in its environment, read with poll so that a child that
// ends, stops or goes silent is noticed while a process it left behind still
// holds the pipe; a signal handler that only does what is safe there, and
// that does not obey a signal the measuring processes send.
#include "tools/misura-libreria/processes.h"

#include "platform/isolation/child_process.h"
#include "platform/isolation/hand_over.h"
#include "platform/isolation/process_tree_posix.h"
#include "platform/isolation/supervisor.h"
#include "platform/system_error.h"
#include "tools/misura-libreria/process_io.h"
#include "tools/misura-libreria/protocol.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace misura {

namespace {

// What the interrupt handler needs, kept where it can read it without locks or allocation.
constexpr int kMaxChildren = 64;
volatile sig_atomic_t childPids[kMaxChildren];
char fileInProgress[4096];
volatile sig_atomic_t progressWidth = 0;
volatile sig_atomic_t refused = 0; // a signal a measuring process sent, not obeyed
// How long a child may take to acknowledge a request, which it does before any
// work: guards against a channel a library took over, which carries nothing.
constexpr int kAcknowledgeMs = 30000;
// How often a child's state is looked at while its answer is awaited.
constexpr int kLookMs = 200;

void track(pid_t pid, pid_t replacement)
{
    for (auto& slot : childPids)
        if (slot == pid) {
            slot = replacement;
            return;
        }
}

extern "C" void onInterrupt(int signal, siginfo_t* info, void*)
{
    if (info->si_code <= 0 && info->si_pid > 0 && platform::isolation::isOwnDescendant(info->si_pid)) {
        refused = signal;
        return;
    }
    for (const auto pid : childPids)
        if (pid > 0)
            kill(static_cast<pid_t>(pid), SIGKILL);
    if (fileInProgress[0])
        unlink(fileInProgress);
    if (progressWidth > 0) {
        char blank[256];
        const auto width = static_cast<std::size_t>(progressWidth) < sizeof blank - 2
            ? static_cast<std::size_t>(progressWidth) : sizeof blank - 2;
        blank[0] = '\r';
        std::memset(blank + 1, ' ', width);
        blank[width + 1] = '\r';
        [[maybe_unused]] const auto n = write(STDERR_FILENO, blank, width + 2);
    }
    platform::announceEndFromHandler(130);
    _exit(130);
}

long long nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// A line as the parent shows it: cut short, control bytes escaped.
std::string shown(const std::string& line)
{
    return protocol::escaped(line.substr(0, 40));
}

} // namespace

struct Child::Impl {
    std::optional<platform::isolation::ChildProcess> process;
    int toChild = -1;
    int fromChild = -1;
    std::string token;
    unsigned long number = 0;
    std::string pending;
    bool closed = false;
    std::optional<std::string> lastAnswer; // an answer that ended the child, come before its time
    std::optional<platform::Ending> trouble; // why the parent ended the child

    // Ends the child for what its channel did (or did not carry).
    void giveUp(const platform::Ending& why)
    {
        if (!trouble)
            trouble = why;
        process->end();
    }
    std::optional<protocol::Framed> next(long long deadline);
    bool fill(int waitMs);
    // Once the child has ended: keeps the answer it left in the channel before its end.
    void keepLastAnswer();
};

// Reads what the channel holds, waiting up to waitMs; false when nothing came.
bool Child::Impl::fill(int waitMs)
{
    pollfd ready{fromChild, POLLIN, 0};
    if (poll(&ready, 1, waitMs) <= 0)
        return false;
    char chunk[4096];
    const ssize_t n = read(fromChild, chunk, sizeof chunk);
    if (n <= 0 && !(n < 0 && errno == EINTR))
        closed = true;
    if (n > 0)
        pending.append(chunk, static_cast<std::size_t>(n));
    return n > 0;
}

// The next frame the child sent, waiting until deadline (0: for ever); none
// once the channel closed or the child ended with nothing more in it, or the
// channel carried something else, or the deadline passed (the child then ended).
std::optional<protocol::Framed> Child::Impl::next(long long deadline)
{
    for (;;) {
        if (const auto end = pending.find('\n'); end != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (std::optional<protocol::Framed> framed = protocol::unframe(line, token))
                return framed;
            giveUp(platform::endingWith(platform::Message::channelForeignLine, shown(line).c_str()));
            return std::nullopt;
        }
        if (pending.size() > protocol::kLongestLine)
            giveUp(platform::endingWith(platform::Message::channelOverlongLine));
        if (closed || trouble)
            return std::nullopt;
        const bool ended = process->poll().has_value();
        if (!fill(ended ? 0 : kLookMs) && ended)
            return std::nullopt;
        if (deadline && nowMs() > deadline && pending.find('\n') == std::string::npos) {
            giveUp(platform::endingWith(platform::Message::channelSilent, std::to_string(kAcknowledgeMs / 1000).c_str()));
            return std::nullopt;
        }
    }
}

Child::Child(const std::vector<std::string>& args) : impl_(std::make_unique<Impl>())
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        platform::raiseSystemError(platform::kInternalError, platform::Message::cannotStartMeasuringProcess, {},
                                   static_cast<unsigned long>(errno));
    const std::vector<long> numbers = platform::isolation::channelNumbers({in[0], out[1]});
    impl_->token = platform::isolation::unpredictableToken();
    const std::string channel = impl_->token + ':' + std::to_string(numbers[0]) + ':' + std::to_string(numbers[1]);
    try {
        impl_->process.emplace(platform::isolation::ChildSpec{
            {}, args, {{in[0], numbers[0]}, {out[1], numbers[1]}}, {{kChildVariable, channel}},
            platform::isolation::StandardStreams::ErrorsOnly});
    } catch (...) {
        for (const int fd : {in[0], in[1], out[0], out[1]})
            close(fd);
        throw;
    }
    close(in[0]);
    close(out[1]);
    impl_->toChild = in[1];
    impl_->fromChild = out[0];
    track(0, static_cast<pid_t>(impl_->process->id()));
}

Child::~Child()
{
    close(impl_->toChild);
    impl_->process.reset(); // ends it if it still runs
    close(impl_->fromChild);
}

bool Child::send(const std::string& line)
{
    if (impl_->trouble)
        return false;
    if (impl_->process->poll()) {
        impl_->keepLastAnswer();
        return false;
    }
    const std::string number = std::to_string(++impl_->number);
    if (!io::writeAll(impl_->toChild, protocol::frame(impl_->token, number, line) + '\n')) {
        impl_->keepLastAnswer();
        return false;
    }
    const std::optional<protocol::Framed> framed = impl_->next(nowMs() + kAcknowledgeMs);
    if (!framed)
        return false;
    if (framed->number == protocol::kLastAnswer)
        impl_->lastAnswer = framed->line;
    else if (framed->number != number || framed->line != protocol::kAcknowledged) {
        impl_->giveUp(platform::endingWith(platform::Message::channelForeignLine, shown(framed->line).c_str()));
        return false;
    }
    return true;
}

void Child::Impl::keepLastAnswer()
{
    if (!process->poll())
        return;
    while (const std::optional<protocol::Framed> framed = next(0))
        if (framed->number == protocol::kLastAnswer)
            lastAnswer = framed->line;
}

std::optional<std::string> Child::leftAnswer()
{
    return std::exchange(impl_->lastAnswer, std::nullopt);
}

std::optional<std::string> Child::receive()
{
    if (std::optional<std::string> last = std::exchange(impl_->lastAnswer, std::nullopt))
        return last;
    const std::optional<protocol::Framed> framed = impl_->next(0);
    if (!framed)
        return std::nullopt;
    if (framed->number == protocol::kLastAnswer
        || (framed->number == std::to_string(impl_->number) && framed->line != protocol::kAcknowledged))
        return framed->line;
    impl_->giveUp(platform::endingWith(platform::Message::channelForeignLine, shown(framed->line).c_str()));
    return std::nullopt;
}

std::optional<platform::Ending> Child::ending()
{
    // A child whose channel closed while it runs has as long to end as to acknowledge a request.
    for (const long long deadline = nowMs() + kAcknowledgeMs; impl_->closed && !impl_->process->poll();) {
        if (nowMs() > deadline)
            impl_->giveUp(platform::endingWith(platform::Message::channelClosedWhileRunning));
        const timespec look{0, kLookMs * 1000000L};
        nanosleep(&look, nullptr);
    }
    const platform::isolation::ChildEnd end = impl_->process->wait();
    track(static_cast<pid_t>(impl_->process->id()), 0);
    if (impl_->trouble)
        return impl_->trouble;
    if (end.way == platform::isolation::ChildEnd::Way::Exited && end.code == 0)
        return std::nullopt;
    return platform::isolation::describeEnd(end);
}

namespace io {

bool takeChannel(long channel)
{
    if (fcntl(static_cast<int>(channel), F_SETFD, FD_CLOEXEC) != 0)
        return false;
    platform::isolation::keepInFreshImage(static_cast<int>(channel));
    return stillGiven(channel);
}

bool stillGiven(long channel)
{
    // What each channel was when first taken: a library may close one and open something else in its place.
    static struct Given {
        long channel;
        dev_t device;
        ino_t inode;
    } given[2] = {{-1, 0, 0}, {-1, 0, 0}};
    struct stat st{};
    if (fstat(static_cast<int>(channel), &st) != 0)
        return false;
    for (Given& g : given) {
        if (g.channel == channel)
            return g.device == st.st_dev && g.inode == st.st_ino;
        if (g.channel < 0) {
            g = {channel, st.st_dev, st.st_ino};
            return true;
        }
    }
    return false;
}

long readSome(long channel, char* buffer, std::size_t size)
{
    ssize_t n = 0;
    while ((n = read(static_cast<int>(channel), buffer, size)) < 0 && errno == EINTR) {
    }
    return static_cast<long>(n);
}

bool writeAll(long channel, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(static_cast<int>(channel), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void forgetVariable(const char* name)
{
    unsetenv(name);
}

} // namespace io

bool standardOutputOpen()
{
    return fcntl(STDOUT_FILENO, F_GETFD) != -1;
}

std::optional<std::string> refusedSignal()
{
    if (!refused)
        return std::nullopt;
    const char* name = sigabbrev_np(refused);
    return name ? std::string("SIG") + name : std::to_string(refused);
}

void handleInterrupts()
{
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_sigaction = onInterrupt;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void ignoreInterrupts()
{
    std::signal(SIGINT, SIG_IGN);
}

void setFileInProgress(const std::string& path)
{
    // Cleared first, so that the handler never sees half a name.
    fileInProgress[0] = '\0';
    if (path.empty() || path.size() >= sizeof fileInProgress)
        return;
    std::memcpy(fileInProgress + 1, path.c_str() + 1, path.size());
    fileInProgress[0] = path[0];
}

void writeProgress(const std::string& text, std::size_t width)
{
    // While the text is on its way the handler clears the wider of the old line and the new.
    if (static_cast<sig_atomic_t>(width) > progressWidth)
        progressWidth = static_cast<sig_atomic_t>(width);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    progressWidth = static_cast<sig_atomic_t>(width);
}

} // namespace misura
