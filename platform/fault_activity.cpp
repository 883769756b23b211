// The activity markers the fault handler reads.
#include "platform/fault_activity.h"

#include <cstring>

namespace platform::activity {

namespace {

char libraryName[256];
std::atomic<bool> loadingNow{false};
std::atomic<const char*> callingNow{nullptr};
std::atomic<bool> faultedOnce{false};
Mirror* mirror = nullptr;

void copyName(char* to, std::size_t size, const char* from) noexcept
{
    std::strncpy(to, from, size - 1);
    to[size - 1] = '\0';
}

} // namespace

void setLibrary(const char* fileName) noexcept
{
    std::strncpy(libraryName, fileName, sizeof libraryName - 1);
    if (mirror)
        copyName(mirror->library, sizeof mirror->library, fileName);
}

const char* library() noexcept
{
    return libraryName;
}

void setLoading(bool loading) noexcept
{
    loadingNow.store(loading, std::memory_order_relaxed);
    if (mirror)
        mirror->loading.store(loading, std::memory_order_relaxed);
}

bool loading() noexcept
{
    return loadingNow.load(std::memory_order_relaxed);
}

const char* setCalling(const char* function) noexcept
{
    if (mirror) {
        if (function)
            copyName(mirror->function, sizeof mirror->function, function);
        mirror->calling.store(function != nullptr, std::memory_order_relaxed);
    }
    return callingNow.exchange(function, std::memory_order_relaxed);
}

const char* calling() noexcept
{
    return callingNow.load(std::memory_order_relaxed);
}

void markFaulted() noexcept
{
    faultedOnce.store(true, std::memory_order_relaxed);
}

bool faulted() noexcept
{
    return faultedOnce.load(std::memory_order_relaxed);
}

void markHandedOver() noexcept
{
    if (mirror)
        mirror->handedOver.store(true, std::memory_order_relaxed);
}

void mirrorInto(Mirror* to) noexcept
{
    mirror = to;
}

} // namespace platform::activity
