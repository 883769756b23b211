// Helpers shared by the tests: a temporary folder, a scripted tick source and
// a way to read the number of the run-time error an expression raises.
#pragma once

#include "clstime.h"
#include "runtime_error.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vc-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Makes a folder the current directory for the scope's duration.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& p) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(p);
    }
    ~CurrentDirectory() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

// Returns the given readings in turn, then keeps returning the last one.
class ScriptedTicks final : public core::TickSource {
public:
    explicit ScriptedTicks(std::vector<std::uint32_t> readings) : readings_(std::move(readings)) {}
    std::uint32_t ticks() noexcept override
    {
        ++reads;
        const std::uint32_t v = readings_[next_];
        if (next_ + 1 < readings_.size())
            ++next_;
        return v;
    }
    int reads = 0;

private:
    std::vector<std::uint32_t> readings_;
    std::size_t next_ = 0;
};

// The number of the run-time error f raises; 0 when it raises none.
template <class F>
int errorNumberOf(F&& f)
{
    try {
        f();
    } catch (const platform::RuntimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace testing_support
