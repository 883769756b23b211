// Child processes and Ctrl+C on POSIX systems: fork and exec of this program's
// own file with two pipes; a signal handler that only does what is safe there.
#include "tools/misura-libreria/processes.h"

#include "platform/runtime_error.h"
#include "platform/supervisor.h"
#include "platform/system_error.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace misura {

namespace {

// What the interrupt handler needs, kept where it can read it without locks or allocation.
constexpr int kMaxChildren = 64;
volatile sig_atomic_t childPids[kMaxChildren];
char fileInProgress[4096];
volatile sig_atomic_t progressWidth = 0;

void track(pid_t pid, pid_t replacement)
{
    for (auto& slot : childPids)
        if (slot == pid) {
            slot = replacement;
            return;
        }
}

extern "C" void onInterrupt(int)
{
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
    platform::announceEndFromHandler();
    _exit(130);
}

[[noreturn]] void raiseCannot(platform::Message message)
{
    platform::raiseSystemError(platform::kInternalError, message, {}, static_cast<unsigned long>(errno));
}

std::string selfPath()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        raiseCannot(platform::Message::cannotFindOwnFile);
    return std::string(path, static_cast<std::size_t>(n));
}

} // namespace

struct Child::Impl {
    pid_t pid = -1;
    int toChild = -1;
    FILE* fromChild = nullptr;
    bool waited = false;
    int status = 0;
};

Child::Child(const std::vector<std::string>& args) : impl_(std::make_unique<Impl>())
{
    const std::string program = selfPath();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int in[2], out[2];
    // Closed on exec: a later child must not hold this one's ends (a child holding another's
    // input keeps it from ever seeing the end of it, and the two children are then unlike).
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        raiseCannot(platform::Message::cannotStartMeasuringProcess);
    const pid_t pid = fork();
    if (pid < 0)
        raiseCannot(platform::Message::cannotStartMeasuringProcess);
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        // A pipe that already had a standard descriptor's number kept its close-on-exec mark.
        fcntl(STDIN_FILENO, F_SETFD, 0);
        fcntl(STDOUT_FILENO, F_SETFD, 0);
        // Any of the four may have taken a standard descriptor's number; those stay open.
        for (const int fd : {in[0], in[1], out[0], out[1]})
            if (fd > STDERR_FILENO)
                close(fd);
        signal(SIGINT, SIG_IGN);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    impl_->pid = pid;
    impl_->toChild = in[1];
    impl_->fromChild = fdopen(out[0], "r");
    track(0, pid);
}

Child::~Child()
{
    if (impl_->toChild >= 0)
        close(impl_->toChild);
    if (!impl_->waited) {
        kill(impl_->pid, SIGKILL);
        ending();
    }
    if (impl_->fromChild)
        std::fclose(impl_->fromChild);
}

bool Child::send(const std::string& line)
{
    const std::string text = line + '\n';
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(impl_->toChild, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::string> Child::receive()
{
    std::string line;
    for (;;) {
        const int c = std::fgetc(impl_->fromChild);
        if (c == EOF)
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (c == '\n')
            return line;
        line += static_cast<char>(c);
    }
}

std::optional<platform::Ending> Child::ending()
{
    if (!impl_->waited) {
        while (waitpid(impl_->pid, &impl_->status, 0) < 0 && errno == EINTR) {
        }
        impl_->waited = true;
        track(impl_->pid, 0);
    }
    if (WIFEXITED(impl_->status) && WEXITSTATUS(impl_->status) == 0)
        return std::nullopt;
    return platform::endingOfWaitStatus(impl_->status);
}

bool standardOutputOpen()
{
    return fcntl(STDOUT_FILENO, F_GETFD) != -1;
}

void markAsChild()
{
    setenv(kChildVariable, "1", 1);
}

bool markedAsChild()
{
    const char* value = std::getenv(kChildVariable);
    return value && value[0] == '1';
}

void handleInterrupts()
{
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
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
