// The hand-over on POSIX systems: execve keeps the process id, which the
// report carries. The fresh image's environment is prepared ahead, as an
// array of pointers into memory of the program's own, so that the fault
// handler only copies the report in and calls execve.
#include "platform/isolation/hand_over.h"

#include "platform/fault_report.h"
#include "platform/isolation/own_file_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace platform::isolation {

namespace {

using faultReport::kVariable;
constexpr std::size_t kMostKept = 8;

// What the hand-over keeps; never destroyed, for a fault in a library's code run at exit.
struct Kept {
    std::vector<std::string> startEnvironment;
    std::vector<std::string> ownVariables;
    // The fresh image's environment: pointers into the two above, then the report's slot, then null.
    std::vector<char*> prepared;
};
Kept& kept()
{
    static Kept* const state = new Kept;
    return *state;
}
char reportAssignment[sizeof kVariable + 4096];
int keptDescriptors[kMostKept];
std::size_t keptCount = 0;

// Whether entry (NAME=VALUE) assigns name.
bool assigns(const std::string& entry, const std::string& name)
{
    return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 && entry[name.size()] == '=';
}

std::string nameOf(const std::string& entry)
{
    return entry.substr(0, entry.find('='));
}

void prepare()
{
    Kept& k = kept();
    k.prepared.clear();
    for (std::string& entry : k.startEnvironment) {
        bool replaced = assigns(entry, kVariable);
        for (const std::string& own : k.ownVariables)
            replaced = replaced || assigns(entry, nameOf(own));
        if (!replaced)
            k.prepared.push_back(entry.data());
    }
    for (std::string& own : k.ownVariables)
        k.prepared.push_back(own.data());
    k.prepared.push_back(reportAssignment);
    k.prepared.push_back(nullptr);
}

} // namespace

void keepStartEnvironment()
{
    if (!kept().prepared.empty())
        return;
    for (char** e = environ; e && *e; ++e)
        kept().startEnvironment.emplace_back(*e);
    prepare();
}

void setFreshImageVariable(const std::string& name, const std::string& value)
{
    std::erase_if(kept().ownVariables, [&](const std::string& own) { return assigns(own, name); });
    kept().ownVariables.push_back(name + '=' + value);
    prepare();
}

void keepInFreshImage(int fd) noexcept
{
    if (keptCount < kMostKept)
        keptDescriptors[keptCount++] = fd;
}

bool showInFreshImage(const char* text, unsigned long&) noexcept
{
    std::vector<char*>& prepared = kept().prepared;
    if (prepared.empty())
        return false;
    Text assignment(reportAssignment, sizeof reportAssignment);
    assignment.append(kVariable);
    assignment.append("=");
    assignment.append(text);
    for (std::size_t i = 0; i < keptCount; ++i)
        fcntl(keptDescriptors[i], F_SETFD, 0);
    char* const argv[] = {const_cast<char*>(ownFileStartPath()), nullptr};
    execOwnFile(argv, prepared.data());
    return false;
}

std::optional<RuntimeError> takeHandedReport()
{
    const char* value = std::getenv(kVariable);
    if (!value)
        return std::nullopt;
    const std::string text = value;
    unsetenv(kVariable);
    auto handOver = faultReport::readHandOver(text);
    if (!handOver || handOver->process != static_cast<unsigned long>(getpid()))
        return std::nullopt;
    // The handing image's blocked signals come through execve.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    return std::move(handOver->error);
}

} // namespace platform::isolation
