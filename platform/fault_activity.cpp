// The activity markers the fault handler reads.
#include "platform/fault_activity.h"

#include <cstring>

namespace platform::activity {

namespace {

char libraryName[256];
std::atomic<bool> loadingNow{false};
std::atomic<const char*> callingNow{nullptr};
std::atomic<bool> faultedOnce{false};

} // namespace

void setLibrary(const char* fileName) noexcept
{
    std::strncpy(libraryName, fileName, sizeof libraryName - 1);
}

const char* library() noexcept
{
    return libraryName;
}

void setLoading(bool loading) noexcept
{
    loadingNow.store(loading, std::memory_order_relaxed);
}

bool loading() noexcept
{
    return loadingNow.load(std::memory_order_relaxed);
}

const char* setCalling(const char* function) noexcept
{
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

} // namespace platform::activity
