// Numbered run-time errors, as the program reports them to the user, and the
// checked 32-bit arithmetic that raises them. Every failure the core can meet
// leaves it as a RuntimeError: a number and a description in Italian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

namespace platform {

// Every number the program raises or reports, as the platform numbers them.
enum ErrorNumber : int {
    kOverflow = 6,
    kOutOfMemory = 7,
    kSubscriptOutOfRange = 9,
    kLibraryNotLoadable = 48,
    kInternalError = 51,
    kFileNotFound = 53,
    kPathNotFound = 76,
    kEntryPointNotFound = 453,
};

// The description of error 7, which the error report also gives for a failed C++ allocation.
inline constexpr char kOutOfMemoryDescription[] = "Memoria esaurita";

class RuntimeError : public std::exception {
public:
    // An error with the given number and description (UTF-8).
    RuntimeError(ErrorNumber number, std::string description);

    ErrorNumber number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    ErrorNumber number_;
    std::string description_;
};

// Writes the report of error number, "Errore di run-time '<number>':" then
// separator, lead and detail, into buffer (size bytes, terminated, cut short
// if need be) with no allocator and no lock, so that a fault handler may call
// it; returns the length of the whole report.
std::size_t formatReport(char* buffer, std::size_t size, int number, const char* separator, const char* lead,
                         const char* detail) noexcept;

// Throws error 6 (overflow).
[[noreturn]] void raiseOverflow();
// Throws error 7 (out of memory).
[[noreturn]] void raiseOutOfMemory();
// Throws error 9 (index outside the array's bounds).
[[noreturn]] void raiseSubscriptOutOfRange();

// Returns v as a 32-bit value; raises error 6 when it does not fit.
inline std::int32_t narrow(std::int64_t v)
{
    if (v < INT32_MIN || v > INT32_MAX)
        raiseOverflow();
    return static_cast<std::int32_t>(v);
}

// Returns a + b; raises error 6 when the sum does not fit in 32 bits.
inline std::int32_t checkedAdd(std::int32_t a, std::int32_t b)
{
    return narrow(std::int64_t{a} + b);
}

// Returns a - b; raises error 6 when the difference does not fit in 32 bits.
inline std::int32_t checkedSub(std::int32_t a, std::int32_t b)
{
    return narrow(std::int64_t{a} - b);
}

} // namespace platform
