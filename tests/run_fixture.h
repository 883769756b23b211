// What the runs' tests put around a run: a fake window and a clock that log
// what the run asks of them in order, and the library the run binds to.
#pragma once

#include "core/quendril_library.h"
#include "core/runs.h"
#include "platform/codepage.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// The stopwatch's message for the 40 ms every run takes on the logging clock.
inline const std::u16string kTime = u"impiegati 0,040 sec.";

// Records what a run asks of its window, in order.
class FakeWindow final : public core::RunWindow {
public:
    FakeWindow(bool option1, std::vector<std::string>& log) : option1_(option1), log_(log) {}
    bool Option1Selected() const override
    {
        log_.push_back("option");
        return option1_;
    }
    void MsgBox(const std::u16string& prompt) override
    {
        log_.push_back("msgbox");
        shown.push_back(prompt);
    }
    std::vector<std::u16string> shown;

private:
    bool option1_;
    std::vector<std::string>& log_;
};

// A tick source that also writes each reading into the shared log.
class LoggingTicks final : public core::TickSource {
public:
    explicit LoggingTicks(std::vector<std::string>& log) : log_(log) {}
    std::uint32_t ticks() override
    {
        log_.push_back("tick");
        return now += 40;
    }
    std::uint32_t now = 1000;

private:
    std::vector<std::string>& log_;
};

// One run's library, clock and window, recording into one log.
struct Fixture {
    explicit Fixture(std::string folder, bool option1 = true,
                     std::string fileName = core::QuendrilLibrary::defaultFileName())
        : library(std::move(folder), std::move(fileName)), ticks(log), window(option1, log)
    {
    }
    core::RunEnvironment env() { return {&library, ticks, u",", platform::ansiCodePage()}; }

    std::vector<std::string> log;
    core::QuendrilLibrary library;
    LoggingTicks ticks;
    FakeWindow window;
};

} // namespace testing_support
