// Bstr owns one counted system string and frees it on every exit path. It is
// how C++ code holds what a conversion library returns or what it hands to one.
#pragma once

#include "contract/sysstring.h"
#include "platform/messages.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace platform {

class Bstr {
public:
    Bstr() noexcept = default;
    // Takes ownership of s (which may be null).
    explicit Bstr(BSTR s) noexcept : s_(s) {}
    Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept
    {
        Bstr(std::move(other)).swap(*this);
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(s_); }

    // A counted copy of bytes; raises error 7 when out of memory.
    static Bstr fromBytes(std::string_view bytes);
    // A counted string of n bytes for the caller to fill; raises error 7 when out of memory.
    static Bstr ofLength(std::size_t n);

    // The owned string, still owned.
    BSTR get() const noexcept { return s_; }
    // The content, for filling a string made by ofLength.
    char* data() noexcept { return reinterpret_cast<char*>(s_); }
    // The owned variable as an out-parameter, for a callee that may free and replace its string.
    BSTR* outParameter() noexcept { return &s_; }
    // The content as bytes, by its stored length.
    std::string_view bytes() const noexcept
    {
        return {reinterpret_cast<const char*>(s_), SysStringByteLen(s_)};
    }
    void swap(Bstr& other) noexcept { std::swap(s_, other.s_); }
    // Gives the string up without freeing it (it is not the allocator's to free).
    void abandon() noexcept { s_ = nullptr; }

private:
    BSTR s_ = nullptr;
};

// What is wrong with s, a string a library handed over, before it is read or
// freed: the message saying it (stringNotLive, stringOverlong); none when
// nothing is. On Windows, where the system allocates, nothing can be told and
// none is the answer.
std::optional<Message> foreignStringProblem(BSTR s) noexcept;

} // namespace platform
