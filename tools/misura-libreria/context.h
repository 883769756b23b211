// What makes two result files comparable: which command and build measured,
// on which processor, with which clock, when, and how busy the machine was.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace misura {

struct Context {
    std::string version;
    std::string buildType;
    std::string cpu;   // the processor's name, as the system gives it
    unsigned cores = 0;
    std::int64_t clockResolutionNs = 0;
    std::string date;  // UTC, ISO 8601
    std::optional<std::array<double, 3>> loadAverage; // over 1, 5 and 15 minutes, where the system has one
};

// The context now.
Context currentContext();

// The processor's name; empty when the system does not say.
std::string processorName();
// The load average, where the system keeps one.
std::optional<std::array<double, 3>> loadAverage();
// The time now, UTC, as "2026-12-09T17:05:00Z".
std::string utcNow();

} // namespace misura
